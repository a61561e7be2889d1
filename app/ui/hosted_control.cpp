#include "app/ui/hosted_control.h"

#include "runtime/activation.h"
#include "runtime/text.h"

namespace quillan::ui {

bool createHostedControl(qhost::ControlHost& host, const char16_t* progId, DispatchWrapper& wrapper,
                         QString& error) {
    const QString name = QString::fromStdU16String(progId);
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) {
        error = QStringLiteral("%1 is not registered (%2)")
                    .arg(name, QString::fromStdString(qrt::lastActivationError()));
        return false;
    }
    const HRESULT hr = host.create(clsid);
    if (FAILED(hr)) {
        error = QStringLiteral("%1 cannot be created (%2)")
                    .arg(name, QString::fromStdString(qrt::lastActivationError()));
        return false;
    }
    qrt::ComPtr<IDispatch> control;
    if (!host.control() || FAILED(host.control()->QueryInterface(IDispatch::IID, control.outVoid())) || !control) {
        host.release();
        error = QStringLiteral("%1 has no dispatch interface").arg(name);
        return false;
    }
    wrapper.setControl(control.get());
    return true;
}

QWidget* focusTarget(QWidget* window) {
    if (!window) return nullptr;
    if (window->focusPolicy() != Qt::NoFocus) return window;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->focusPolicy() != Qt::NoFocus) return child;
    }
    return window;
}

}  // namespace quillan::ui
