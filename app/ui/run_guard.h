// Keeps the window alive while a script runs long. The engines ask, about
// every 100 ms of a run, whether the script may go on; once a run has lasted
// half a second the guard answers by letting the window repaint, offers the
// Stop action (its toolbar button and Escape) and holds back every other
// input to the window until the run ends, so no command starts in the middle
// of a script. Dialogs the script opens meanwhile work as usual.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace quillan::ui {

class RunGuard final : public QObject {
public:
    // window: where the status text goes (its status bar, when it is a main
    // window); stop: the action that stops a run, disabled between runs.
    RunGuard(QWidget* window, QAction* stop);
    ~RunGuard() override;

    void runStarted();
    void runEnded();
    // Called by the engines during a run: false when the user asked to stop.
    bool queryContinue();

    bool running() const { return m_depth > 0; }
    // The guard has taken over the window (the run is past half a second).
    bool busy() const { return m_busy; }
    void requestStop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setBusy(bool busy);
    bool isStopControl(QObject* object) const;
    // Whether object belongs to a top-level window other than the guarded one.
    bool isOutsideWindow(QObject* object) const;

    QPointer<QWidget> m_window;
    QPointer<QAction> m_stop;
    QElapsedTimer m_clock;
    int m_depth = 0;
    bool m_busy = false;
    bool m_stopRequested = false;
    bool m_polling = false;  // inside queryContinue
};

}  // namespace quillan::ui
