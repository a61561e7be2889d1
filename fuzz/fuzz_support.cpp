#include "fuzz/fuzz_support.h"

#include "hosting/registration.h"
#include "runtime/dispatch.h"
#include "runtime/text.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

// The component libraries carry the sanitizer runtime as a shared library
// (see instrument.cmake), which then is not first in the list of loaded
// libraries; that order does not matter here. Leaks are looked for after
// every input.
// A single allocation of more than 256 MB fails as it would on a machine
// without that much memory: the engines must answer it with "Out of memory"
// (the fuzzer's own limit would report it as a crash instead).
extern "C" const char* __asan_default_options() {
    return "verify_asan_link_order=0:detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=256";
}

namespace qfuzz {

HRESULT QuietSite::OnScriptError(IActiveScriptError* error) {
    EXCEPINFO info{};
    if (SUCCEEDED(error->GetExceptionInfo(&info))) qrt::clearExcepInfo(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    BSTR text = nullptr;
    if (SUCCEEDED(error->GetSourceLineText(&text))) SysFreeString(text);
    return S_OK;
}

namespace fs = std::filesystem;

namespace {

std::string g_scratch;

void removeScratch() {
    std::error_code ec;
    if (!g_scratch.empty()) fs::remove_all(g_scratch, ec);
}

std::string programDir() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

}  // namespace

const std::string& scratchDir() {
    if (g_scratch.empty()) {
        std::string pattern = (fs::temp_directory_path() / "quillan-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        g_scratch = pattern;
        std::atexit(removeScratch);
        const std::string registry = g_scratch + "/registry";
        fs::create_directory(registry);
        setenv("QUILLAN_REGISTRY_DIR", registry.c_str(), 1);
    }
    return g_scratch;
}

void ensureQtApplication() {
    if (QApplication::instance()) return;
    scratchDir();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "quillan_fuzz";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives as long as the process
}

bool registerLibrary(const char* name) {
    scratchDir();
    std::string message;
    return SUCCEEDED(qhost::registerLibraryFile(programDir() + "/lib" + name + ".so", false, &message));
}

std::u16string unitsOf(const std::uint8_t* data, std::size_t size) {
    std::u16string out;
    out.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return out;
}

std::u16string textOf(const std::uint8_t* data, std::size_t size) {
    return qrt::decodeAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
}

Watchdog::Watchdog(std::chrono::milliseconds budget) : m_budget(budget), m_thread([this] { loop(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Watchdog::arm(IActiveScript* engine) {
    {
        std::lock_guard lock(m_mutex);
        m_engine = engine;
        m_deadline = std::chrono::steady_clock::now() + m_budget;
    }
    m_wake.notify_all();
}

void Watchdog::disarm() {
    std::lock_guard lock(m_mutex);
    m_engine = nullptr;
}

void Watchdog::loop() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_engine) {
            m_wake.wait(lock);
            continue;
        }
        if (m_wake.wait_until(lock, m_deadline) == std::cv_status::timeout && m_engine &&
            std::chrono::steady_clock::now() >= m_deadline) {
            // Under the lock: disarm() cannot return, and the engine cannot
            // be released, while the request is made.
            m_engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
            ++m_interruptions;
            // Asked again after another budget if the engine misses it.
            m_deadline = std::chrono::steady_clock::now() + m_budget;
        }
    }
}

}  // namespace qfuzz
