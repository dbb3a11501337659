// Fill speed of one single-sweep job through the real main window (offscreen) against the
// same job through the engine alone, whose view never pumps events. Each run fills a fresh
// tmpfs; the two alternate, so that neither always meets a quieter machine. Ends with the line
// "window/engine ratio: X.XX" (median against median).
//
// Usage (as root, since it mounts): window_bench [RUNS [MIB]]   (default 5 runs of 1024 MiB)
#include "engine/engine.h"
#include "qt/aux_windows.h"
#include "qt/frm_main.h"
#include "recording_aux.h"
#include "silent_view.h"
#include "test_volume.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

/// One job's figures: MB/s by the wall clock and by the processor time the job used, which
/// other load on the machine disturbs less.
struct Rate {
    double wall = 0;
    double cpu = 0;
};

/// The processor time this process has used so far, in seconds.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

/// Notes when the completion box appears and answers it at once.
class CompletionWatch final : public QObject {
public:
    CompletionWatch() { qApp->installEventFilter(this); }
    ~CompletionWatch() override { qApp->removeEventFilter(this); }
    std::optional<Clock::time_point> shown;
    double cpuAtShow = 0;
    QString text;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box != nullptr && event->type() == QEvent::Show && !shown) {
            shown = Clock::now();
            cpuAtShow = CpuSeconds();
            text = box->text();
            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        }
        return false;
    }
};

std::uint64_t FreeBytes(klar::Platform& platform, const std::string& root) {
    klar::SpaceInfo space;
    return platform.driveSpace(root, space).ok() ? space.free : 0;
}

double Seconds(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

/// A job through the main window; nullopt if it did not end with the completion box.
std::optional<Rate> ThroughWindow(const std::string& root) {
    auto platform = klar::makeSystemPlatform();
    klar::JobState state;
    klar::InitJobState(state);
    klar::uitest::RecordingAux aux;
    klar::ui::frmMain window(state, *platform, aux);
    window.Form_Load();
    window.show();
    // A user starts a job in a window that has long been painted: the first paint (fonts,
    // style sheets) is not part of the job.
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return std::nullopt;
    }
    QTest::qWait(100);
    window.findChild<QComboBox*>("cboDelay")->setEditText(QString::fromStdString(root));
    window.findChild<QCheckBox*>("chkSingle")->setChecked(true);

    const std::uint64_t bytes = FreeBytes(*platform, root);
    CompletionWatch watch;
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    window.findChild<QPushButton*>("Command5")->click();
    const double cpu = watch.cpuAtShow - cpuStart;
    state.gExitRequested = true;
    window.close();
    if (!watch.shown || !watch.text.endsWith(QStringLiteral(") cleared."))) {
        std::fprintf(stderr, "window job ended with: %s\n", qPrintable(watch.text));
        return std::nullopt;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    return Rate{mb / Seconds(start, *watch.shown), mb / cpu};
}

/// The same job through the engine alone.
std::optional<Rate> EngineAlone(const std::string& root) {
    auto platform = klar::makeSystemPlatform();
    klar::JobState state;
    klar::InitJobState(state);
    Clock::time_point end;
    double cpuAtEnd = 0;
    klar::test::SilentView view(root, [&](const std::string&) {
        end = Clock::now();
        cpuAtEnd = CpuSeconds();
    });
    klar::ClockSeededRandom random;
    klar::Engine engine(state, *platform, view, random);
    const std::uint64_t bytes = FreeBytes(*platform, root);
    QTest::qWait(100); // the same pause as before the window's job
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    if (const klar::JobOutcome outcome = engine.Run(); !outcome.cleared()) {
        std::fprintf(stderr, "engine job ended with: %s\n", klar::OutcomeMessage(outcome).c_str());
        return std::nullopt;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    return Rate{mb / Seconds(start, end), mb / (cpuAtEnd - cpuStart)};
}

double Median(const std::vector<Rate>& rates, double Rate::*figure) {
    std::vector<double> values;
    for (const Rate& rate : rates) {
        values.push_back(rate.*figure);
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    // Leaving the window writes its placement; that goes to a folder of our own, not to the
    // user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::uint64_t mib = argc > 2 ? std::max(16, std::atoi(argv[2])) : 1024;

    enum class Way { Window, Engine };
    std::vector<Rate> window;
    std::vector<Rate> engine;
    auto measure = [&](Way way, bool counted) -> bool {
        std::string whyNot;
        auto volume = klar::test::MakeRamVolume(mib << 20, whyNot);
        if (!volume) {
            std::fprintf(stderr, "cannot make a tmpfs: %s\n", whyNot.c_str());
            return false;
        }
        const auto rate =
            way == Way::Window ? ThroughWindow(volume->root()) : EngineAlone(volume->root());
        if (!rate) {
            return false;
        }
        if (counted) {
            (way == Way::Window ? window : engine).push_back(*rate);
            std::printf("  %-6s %8.1f MB/s  (%.1f MB per processor second)\n",
                        way == Way::Window ? "window" : "engine", rate->wall, rate->cpu);
            std::fflush(stdout);
        }
        return true;
    };

    std::printf("single sweep of a %llu MiB tmpfs, window against engine, %d runs each\n",
                static_cast<unsigned long long>(mib), runs);
    // The first fills touch memory the machine has not used yet; one untimed round of each.
    if (!measure(Way::Window, false) || !measure(Way::Engine, false)) {
        return 1;
    }
    for (int run = 1; run <= runs; ++run) {
        std::printf("run %d\n", run);
        const bool windowFirst = run % 2 == 1;
        for (Way way :
             {windowFirst ? Way::Window : Way::Engine, windowFirst ? Way::Engine : Way::Window}) {
            if (!measure(way, true)) {
                return 1;
            }
        }
    }
    const double windowMedian = Median(window, &Rate::wall);
    const double engineMedian = Median(engine, &Rate::wall);
    std::printf("window median: %.1f MB/s\n", windowMedian);
    std::printf("engine median: %.1f MB/s\n", engineMedian);
    std::printf("window/engine ratio of processor time: %.2f\n",
                Median(window, &Rate::cpu) / Median(engine, &Rate::cpu));
    std::printf("window/engine ratio: %.2f\n", windowMedian / engineMedian);
    return 0;
}
