// The automatic magnifier under a moving pointer: 1,000 pointer moves over a
// 1280 x 800 graph control showing 10 series of 60,000 points, each move
// running the zoom pass and painting the overlay on screen. Prints the median
// and the 95th percentile of the time per move.
#include "bench/curve_points.h"
#include "graph/tarvik.h"
#include "hosting/control_host.h"
#include "hosting/registration.h"
#include "runtime/activation.h"

#include <QApplication>
#include <QMouseEvent>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // QUILLAN_BENCH_THREADS=1 keeps Qt's raster work on this thread.
    if (const char* threads = std::getenv("QUILLAN_BENCH_THREADS")) QThreadPool::globalInstance()->setMaxThreadCount(std::atoi(threads));
    char dir[] = "/tmp/quillan-zoom-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("QUILLAN_REGISTRY_DIR", dir, 1);
    std::filesystem::current_path(dir);  // the control's storage file goes here
    std::string message;
    if (FAILED(qhost::ensureLibrariesRegistered(qhost::programFolder(), {"Tarvik"}, &message))) {
        std::fprintf(stderr, "cannot register Tarvik: %s\n", message.c_str());
        return 1;
    }
    int rc = 0;
    {
        qhost::ControlHost host;
        host.resize(1280, 800);
        host.show();
        if (FAILED(host.create(CLSID_ViGraf))) {
            std::fprintf(stderr, "cannot create the graph control: %s\n", qrt::lastActivationError().c_str());
            return 1;
        }
        auto graf = qrt::ComPtr<IUnknown>(host.control()).as<IViGraf>();
        std::vector<double> xs, ys;
        for (int k = 0; k < 10; ++k) {
            bench::curveValues(k, 60000, xs, ys);
            graf->CreateSeries();
            graf->SetPoints(k, 60000, xs.data(), ys.data());
            graf->SetPropertySeries(k, 160, 0x1F3F00u * static_cast<unsigned>(k + 1));
        }
        QWidget* window = host.controlWindow();
        window->grab();  // the first paint lays the graph out
        graf->SetZoomRect(900, 40, 320, 200);
        graf->Magnifier(0, 0, 3000, 8000);  // the magnified size
        graf->put_AutoZoom(1);
        window->grab();

        std::vector<double> ms;
        for (int i = 0; i < 1000; ++i) {
            // A pointer sweeping across the plot.
            const QPointF p(150 + (i * 7) % 1100, 60 + (i * 13) % 650);
            const auto start = std::chrono::steady_clock::now();
            QMouseEvent move(QEvent::MouseMove, p, window->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &move);
            if (!std::getenv("QUILLAN_BENCH_NO_REPAINT")) window->repaint();  // the overlay reaches the screen
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(ms.begin(), ms.end());
        const double median = ms[ms.size() / 2];
        const double p95 = ms[static_cast<std::size_t>(std::ceil(0.95 * ms.size())) - 1];
        std::printf("pointer moves with the automatic magnifier: %zu\n", ms.size());
        std::printf("median %.2f ms, 95th percentile %.2f ms, max %.2f ms (one frame at 60 Hz: 16.67 ms)\n", median,
                    p95, ms.back());
        host.release();
    }
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return rc;
}
