#include "app/core/canvas.h"

#include "app/core/graf.h"

namespace quillan {

namespace {

qrt::ComPtr<Graf>& canvasGraf() {
    static qrt::ComPtr<Graf>* graf = new qrt::ComPtr<Graf>;  // let go of by setCanvasGraf(nullptr)
    return *graf;
}

HRESULT createCanvas(REFIID iid, void** out) { return qrt::createInstance<Canvas>(iid, out); }

class CanvasFactory final : public qrt::ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return createCanvas(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

const qrt::DispatchTable& Canvas::dispatchTable() {
    static const qrt::DispatchTable table(u"ICanvas", ICanvas::IID, {
        qrt::getter<&ICanvas::get_Graf>(u"Graf", 1),
    });
    return table;
}

HRESULT Canvas::get_Graf(IDispatch** graf) {
    if (!graf) return E_POINTER;
    *graf = nullptr;
    Graf* current = canvasGraf().get();
    if (!current) return E_UNEXPECTED;
    return current->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(graf));
}

void setCanvasGraf(Graf* graf) { canvasGraf() = qrt::ComPtr<Graf>(graf); }

const qhost::ClassEntry& canvasClass() {
    static const qhost::ClassEntry entry{
        CLSID_Canvas, "Canvas", "Canvas Class", qhost::ClassKind::Automation,
        "Quillan.Canvas.1", "Quillan.Canvas", "Canvas Class", &createCanvas,
    };
    return entry;
}

qrt::ComPtr<IClassFactory> canvasClassFactory() { return qrt::create<CanvasFactory>(); }

}  // namespace quillan
