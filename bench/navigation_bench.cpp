// The graph page under the pointer, at 600,000 points (10 series of 60,000)
// in a 1280 x 800 graph control: wheel zoom steps and pan steps, each sent
// as the window's event through the page's navigation and painted at once;
// then the nearest-point search (the index's build after a data change, and
// searches at random positions, plain and with the status text). Prints
// the median, the 95th percentile and the slowest of each.
#include "app/ui/graph_navigation.h"
#include "bench/curve_points.h"
#include "graph/graph_view.h"
#include "graph/tarvik.h"
#include "hosting/control_host.h"
#include "hosting/registration.h"
#include "runtime/activation.h"

#include <QApplication>
#include <QMouseEvent>
#include <QThreadPool>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p95 = ms[static_cast<std::size_t>(std::ceil(0.95 * ms.size())) - 1];
    std::printf("%-34s %5zu steps: median %7.3f ms, 95th percentile %7.3f ms, max %7.3f ms\n", what, ms.size(), median,
                p95, ms.back());
}

// The window's paint, made now: into a picture, as the off-screen platform
// leaves a window unexposed and repaint() would draw nothing. The picture
// costs one copy of the window's pixels more than the screen would.
void paint(QWidget* window) { window->grab(); }

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // QUILLAN_BENCH_THREADS=1 keeps Qt's raster work on this thread.
    if (const char* threads = std::getenv("QUILLAN_BENCH_THREADS"))
        QThreadPool::globalInstance()->setMaxThreadCount(std::atoi(threads));
    char dir[] = "/tmp/quillan-navigation-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("QUILLAN_REGISTRY_DIR", dir, 1);
    std::filesystem::current_path(dir);
    std::string message;
    if (FAILED(qhost::ensureLibrariesRegistered(qhost::programFolder(), {"Tarvik"}, &message))) {
        std::fprintf(stderr, "cannot register Tarvik: %s\n", message.c_str());
        return 1;
    }
    {
        qhost::ControlHost host;
        host.resize(1280, 800);
        host.show();
        if (FAILED(host.create(CLSID_ViGraf))) {
            std::fprintf(stderr, "cannot create the graph control: %s\n", qrt::lastActivationError().c_str());
            return 1;
        }
        auto graf = qrt::ComPtr<IUnknown>(host.control()).as<IViGraf>();
        auto view = qrt::ComPtr<IUnknown>(host.control()).as<IGraphView>();
        std::vector<double> xs, ys;
        for (int k = 0; k < 10; ++k) {
            bench::curveValues(k, 60000, xs, ys);
            graf->CreateSeries();
            graf->SetPoints(k, 60000, xs.data(), ys.data());
            graf->SetPropertySeries(k, 160, 0x1F3F00u * static_cast<unsigned>(k + 1));
        }
        QWidget* window = host.controlWindow();
        window->grab();  // the first paint lays the graph out
        quillan::ui::GraphNavigation navigation;
        navigation.attach(window, view.get());

        // Wheel: in and out in turns of eight notches, at pointer positions
        // sweeping the plot.
        std::vector<double> zoom;
        for (int i = 0; i < 600; ++i) {
            const QPointF at(150 + (i * 7) % 1100, 60 + (i * 13) % 650);
            const int notch = (i / 8) % 2 == 0 ? 120 : -120;
            const auto start = Clock::now();
            QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(window, &event);
            paint(window);
            zoom.push_back(since(start));
        }
        report("wheel zoom step and repaint", zoom);

        // Pan: a middle-button drag wandering over the plot, zoomed in 4 times.
        navigation.resetView();
        view->ZoomAt(640, 400, 4);
        std::vector<double> pan;
        QPointF at(640, 400);
        auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, window->mapToGlobal(at), button, held, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &event);
        };
        send(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton);
        for (int i = 0; i < 600; ++i) {
            at += QPointF((i / 50) % 2 == 0 ? 9 : -9, (i / 30) % 2 == 0 ? 4 : -4);
            const auto start = Clock::now();
            send(QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton);
            paint(window);
            pan.push_back(since(start));
        }
        send(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton);
        report("pan step and repaint", pan);
        navigation.resetView();
        paint(window);

        // The nearest point: the first search after a data change builds
        // the index; later ones only search it.
        std::vector<double> build;
        for (int i = 0; i < 5; ++i) {
            graf->SetPropertySeries(0, 160, 0);  // not a data change
            bench::curveValues(0, 60000, xs, ys);
            graf->SetPoints(0, 60000, xs.data(), ys.data());  // a data change
            LONG s, n;
            double x, y;
            const auto start = Clock::now();
            view->NearestPoint(640, 400, &s, &n, &x, &y);
            build.push_back(since(start));
        }
        report("index build (first search)", build);
        std::mt19937 random(5);
        // Inside the plot area: 128 to 1254 across, 25 to 715 down.
        std::uniform_real_distribution<double> px(129, 1253), py(26, 714);
        std::vector<double> search, text;
        for (int i = 0; i < 10000; ++i) {
            const double qx = px(random), qy = py(random);
            LONG s, n;
            double x, y;
            const auto start = Clock::now();
            view->NearestPoint(qx, qy, &s, &n, &x, &y);
            search.push_back(since(start));
            const auto start2 = Clock::now();
            const QString shown = navigation.cursorText(QPointF(qx, qy), true);
            text.push_back(since(start2));
            if (shown.isEmpty()) std::fprintf(stderr, "no point found at %g, %g\n", qx, qy);
        }
        report("nearest point search", search);
        report("snapped status text", text);
        std::printf("(one frame at 60 Hz: 16.67 ms; nearest point: 5 ms)\n");
        navigation.detach();
        view.reset();
        graf.reset();
        host.release();
    }
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
