// Runs every benchmark of the tool beside its floor and prints one table.
//
//   bench_driver --build-dir DIR [--quick] [--only ticks|start|cpu]
//
// - The ticks: tick_bench (Google Benchmark) with repetitions and random
//   interleaving, and tick_instructions under callgrind for the instruction
//   counts of the same runs.
// - Start to window shown and resident memory: the demo and the bare window,
//   started in turn on a virtual X server of our own; the time runs from the
//   spawn to the server's MapNotify of a top-level window with the program's
//   title, read by an X client here that watches the root window.
// - CPU: tick_cpu's three kinds run side by side over the same window of time.
//
// Every time figure is the median of its repetitions, shown with its spread:
// half the range from the fastest to the slowest repetition, relative to the
// median. A ratio is the ratio of the two medians.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

// --- Figures ------------------------------------------------------------------

struct Samples {
    std::vector<double> values;

    bool Empty() const { return values.empty(); }
    double Median() const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    // Half the range of the repetitions, relative to the median.
    double Spread() const {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        const double median = Median();
        return median == 0 ? 0 : (*high - *low) / 2 / median;
    }
};

struct Options {
    QString buildDir;
    bool quick = false;
    QString only;
    // Repetitions and windows, by mode.
    int tickRepetitions = 15;
    double tickMinTime = 0.2; // s per repetition
    int instructionRuns = 200;
    int startPairs = 15;
    double settle = 1.0; // s from the window shown to the memory reading
    int cpuRepetitions = 3;
    double cpuWarmUp = 3;
    double cpuWindow = 60;
};

void Progress(const QString& text) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
}

// A failure ends the run; thrown, so that the virtual X server and the
// programs started are stopped on the way out.
struct Failure {
    QString text;
};

[[noreturn]] void Fail(const QString& text) {
    throw Failure{text};
}

QString Program(const Options& options, const QString& relative) {
    const QString path = QDir(options.buildDir).filePath(relative);
    if (!QFile::exists(path))
        Fail(path + " is missing: build it first (bench/run does)");
    return path;
}

// Runs a program to its end; its standard output, or a failure.
QByteArray
RunToEnd(const QString& program, const QStringList& arguments, int timeoutSeconds,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10'000))
        Fail("cannot start " + program);
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        Fail(program + " did not finish within " + QString::number(timeoutSeconds) + " s");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Fail(program + " failed: " + QString::fromLocal8Bit(process.readAllStandardError()));
    return process.readAllStandardOutput();
}

// --- The ticks ----------------------------------------------------------------

// One figure of tick_bench: per repetition, the time of one tick and of one
// floor run (ns), measured in alternation, and their ratio.
struct TickPair {
    Samples tick, floor, ratio;
};

std::map<std::string, TickPair> RunTickBench(const Options& options) {
    QTemporaryDir scratch;
    const QString out = scratch.filePath("ticks.json");
    Progress(QString("tick figures: %1 repetitions of each pair, interleaved")
                 .arg(options.tickRepetitions));
    RunToEnd(Program(options, "bench/tick_bench"),
             {"--benchmark_repetitions=" + QString::number(options.tickRepetitions),
              "--benchmark_enable_random_interleaving=true",
              "--benchmark_min_time=" + QString::number(options.tickMinTime),
              "--benchmark_out_format=json", "--benchmark_out=" + out,
              "--benchmark_format=console"},
             1800);
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly))
        Fail("tick_bench wrote no results");
    const QJsonArray runs = QJsonDocument::fromJson(file.readAll())["benchmarks"].toArray();
    std::map<std::string, TickPair> pairs;
    for (const QJsonValue& run : runs) {
        const QJsonObject entry = run.toObject();
        if (entry["run_type"].toString() != "iteration")
            continue;
        TickPair& pair = pairs[entry["run_name"].toString().remove("/manual_time").toStdString()];
        pair.tick.values.push_back(entry["tick_ns"].toDouble());
        pair.floor.values.push_back(entry["floor_ns"].toDouble());
        pair.ratio.values.push_back(entry["ratio"].toDouble());
    }
    return pairs;
}

// Instructions of one run by benchmark name, from callgrind.
std::map<std::string, double> RunInstructionCounts(const Options& options) {
    QTemporaryDir scratch;
    const QString out = scratch.filePath("callgrind.out");
    Progress(QString("instruction counts under callgrind: %1 runs of each")
                 .arg(options.instructionRuns));
    RunToEnd("valgrind",
             {"--tool=callgrind", "--collect-atstart=no", "--callgrind-out-file=" + out,
              Program(options, "bench/tick_instructions"),
              QString::number(options.instructionRuns)},
             3600);
    std::map<std::string, double> counts;
    for (const QFileInfo& dump :
         QDir(scratch.path()).entryInfoList({"callgrind.out*"}, QDir::Files)) {
        QFile file(dump.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QString label;
        double total = -1;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith("desc: Trigger: Client Request: "))
                label = line.mid(static_cast<int>(std::strlen("desc: Trigger: Client Request: ")));
            else if (line.startsWith("totals: ") || line.startsWith("summary: "))
                total = line.section(' ', 1, 1).toDouble();
        }
        const QStringList parts = label.split(' ');
        if (parts.size() == 2 && total >= 0)
            counts[parts[0].toStdString()] = total / parts[1].toDouble();
    }
    return counts;
}

// --- A virtual X server and an X client that sees windows mapped ---------------

class VirtualServer {
public:
    VirtualServer() {
        server_.setProgram("Xvfb");
        server_.setArguments(
            {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start();
        if (!server_.waitForStarted(10'000))
            Fail("cannot start Xvfb");
        QByteArray number;
        while (!number.contains('\n')) {
            if (!server_.waitForReadyRead(10'000)) {
                server_.kill();
                server_.waitForFinished();
                Fail("Xvfb told no display number");
            }
            number += server_.readAllStandardOutput();
        }
        display_ = ":" + QString::fromLatin1(number.trimmed());
    }
    ~VirtualServer() {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished();
    }
    const QString& Display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

std::vector<std::string> ProgramEnvironment(const QString& display) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("DISPLAY=") || text.starts_with("QT_QPA_PLATFORM=") ||
            text.starts_with("WAYLAND_DISPLAY="))
            continue;
        entries.emplace_back(text);
    }
    entries.push_back("DISPLAY=" + display.toStdString());
    entries.push_back("QT_QPA_PLATFORM=xcb");
    return entries;
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

class WindowWatcher {
public:
    explicit WindowWatcher(const QString& display) : display_(display) {
        connection_ = xcb_connect(display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(connection_))
            Fail("cannot reach the X server " + display);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        netWmName_ = Atom("_NET_WM_NAME");
        xcb_flush(connection_);
    }
    ~WindowWatcher() { xcb_disconnect(connection_); }

    struct Start {
        double seconds = 0;    // from the spawn to the window mapped
        double residentKb = 0; // VmRSS, `settle` seconds later
    };

    // Starts the program and waits for the top-level window titled `title`.
    Start Measure(const QString& program, const std::string& title, double settle) {
        Drain();
        std::vector<std::string> environment = ProgramEnvironment(display_);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string path = program.toStdString();
        char* argv[] = {path.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

        const auto spawned = std::chrono::steady_clock::now();
        pid_t pid = 0;
        const int failure = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failure != 0)
            Fail("cannot start " + program + ": " + std::strerror(failure));

        std::optional<double> shown;
        const auto deadline = spawned + std::chrono::seconds(30);
        while (!shown && std::chrono::steady_clock::now() < deadline) {
            pollfd watch{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&watch, 1, 100);
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const auto arrived = std::chrono::steady_clock::now();
                if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    if (!shown && Title(map->window) == title)
                        shown = Seconds(arrived - spawned);
                }
                std::free(event);
            }
            if (xcb_connection_has_error(connection_)) {
                Stop(pid);
                Fail("lost the X server");
            }
        }
        if (!shown) {
            Stop(pid);
            Fail(program + ": no window \"" + QString::fromStdString(title) + "\" within 30 s");
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(settle));
        const std::optional<double> resident = ResidentKb(pid);
        if (!resident) {
            Stop(pid);
            Fail(program + " ended before its memory was read");
        }
        Start start{*shown, *resident};
        Stop(pid);
        return start;
    }

private:
    xcb_atom_t Atom(const char* name) {
        const auto cookie =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookie, nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }

    std::string Property(xcb_window_t window, xcb_atom_t property) {
        const auto cookie =
            xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_, cookie, nullptr);
        std::string value;
        if (reply != nullptr && reply->format == 8)
            value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                         static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
        return value;
    }

    std::string Title(xcb_window_t window) {
        std::string title = Property(window, netWmName_);
        return title.empty() ? Property(window, XCB_ATOM_WM_NAME) : title;
    }

    void Drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
            std::free(event);
    }

    // VmRSS in kB; nothing once the program has ended.
    static std::optional<double> ResidentKb(pid_t pid) {
        QFile status(QString("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return std::nullopt;
        // Files in /proc tell no size: read them whole, never up to atEnd().
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').front().toDouble();
        }
        return std::nullopt;
    }

    static void Stop(pid_t pid) {
        kill(pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    QString display_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};

struct StartFigures {
    // By program: the demo, the bare window, and the tool on this machine's
    // real HID devices (for reference: the window without the demo's second one).
    Samples seconds[3], kb[3];
};

StartFigures RunStarts(const Options& options, const VirtualServer& server) {
    const QString programs[3] = {Program(options, "app/merovane-config-demo"),
                                 Program(options, "bench/bare_window"),
                                 Program(options, "app/merovane-config")};
    const std::string titles[3] = {"Merovane Config", "Bare Window", "Merovane Config"};
    WindowWatcher watcher(server.Display());
    Progress(QString("start to window shown: %1 starts of each program, in turn, after one "
                     "of each unmeasured")
                 .arg(options.startPairs));
    for (int program = 0; program < 3; ++program)
        watcher.Measure(programs[program], titles[program], 0);
    StartFigures figures;
    for (int round = 0; round < options.startPairs; ++round) {
        // The order rotates from round to round, so that none always goes first.
        for (int turn = 0; turn < 3; ++turn) {
            const int program = (round + turn) % 3;
            const auto start = watcher.Measure(programs[program], titles[program], options.settle);
            figures.seconds[program].values.push_back(start.seconds);
            figures.kb[program].values.push_back(start.residentKb);
        }
    }
    return figures;
}

// --- CPU ------------------------------------------------------------------------

struct CpuRun {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double ticks = 0;
    double paints = 0;
};

struct CpuFigures {
    Samples openShare, idleShare, floorShare; // CPU seconds per wall second
    std::vector<CpuRun> open, idle, floor;
};

CpuRun ParseCpuRun(const QByteArray& output) {
    CpuRun run;
    for (const QByteArray& field : output.trimmed().split(' ')) {
        const QList<QByteArray> pair = field.split('=');
        if (pair.size() != 2)
            continue;
        const double value = pair[1].toDouble();
        if (pair[0] == "cpu_ns")
            run.cpuSeconds = value / 1e9;
        else if (pair[0] == "wall_ns")
            run.wallSeconds = value / 1e9;
        else if (pair[0] == "ticks")
            run.ticks = value;
        else if (pair[0] == "paints")
            run.paints = value;
    }
    if (run.wallSeconds <= 0)
        Fail("tick_cpu printed no figures: " + QString::fromLatin1(output));
    return run;
}

CpuFigures RunCpu(const Options& options, const VirtualServer& server) {
    const QString program = Program(options, "bench/tick_cpu");
    // Each window on an X server of its own: on a shared screen the windows
    // would take the focus from one another and repaint for it.
    const VirtualServer openServer, idleServer;
    const QString displays[3] = {openServer.Display(), idleServer.Display(), server.Display()};
    Progress(QString("CPU: %1 windows of %2 s, the three kinds side by side")
                 .arg(options.cpuRepetitions)
                 .arg(options.cpuWindow));
    CpuFigures figures;
    for (int repetition = 0; repetition < options.cpuRepetitions; ++repetition) {
        const QStringList kinds = {"open", "idle", "idle-floor"};
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < kinds.size(); ++i) {
            const QString& kind = kinds[i];
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("DISPLAY", displays[i]);
            environment.insert("QT_QPA_PLATFORM", "xcb");
            auto process = std::make_unique<QProcess>();
            process->setProcessEnvironment(environment);
            process->setStandardErrorFile(QProcess::nullDevice());
            process->start(program, {kind, QString::number(options.cpuWarmUp),
                                     QString::number(options.cpuWindow)});
            processes.push_back(std::move(process));
        }
        const int timeout = static_cast<int>((options.cpuWarmUp + options.cpuWindow + 60) * 1000);
        std::vector<CpuRun> runs;
        for (std::size_t i = 0; i < processes.size(); ++i) {
            QProcess& process = *processes[i];
            if (!process.waitForFinished(timeout) || process.exitCode() != 0)
                Fail("tick_cpu " + kinds[static_cast<int>(i)] + " failed");
            runs.push_back(ParseCpuRun(process.readAllStandardOutput()));
        }
        figures.open.push_back(runs[0]);
        figures.idle.push_back(runs[1]);
        figures.floor.push_back(runs[2]);
        figures.openShare.values.push_back(runs[0].cpuSeconds / runs[0].wallSeconds);
        figures.idleShare.values.push_back(runs[1].cpuSeconds / runs[1].wallSeconds);
        figures.floorShare.values.push_back(runs[2].cpuSeconds / runs[2].wallSeconds);
    }
    return figures;
}

// --- The table -----------------------------------------------------------------

struct Row {
    std::string figure, kind, ours, floor, ratio, goal, met;
};

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string WithSpread(const Samples& samples, double scale, const char* format, const char* unit) {
    std::string text = Format(format, samples.Median() * scale);
    if (*unit != 0)
        text += std::string(" ") + unit;
    return text + " ±" + Format("%.0f", samples.Spread() * 100) + "%";
}

std::string Count(double instructions) {
    // Digits from the right, a comma between each group of three.
    std::string reversed;
    auto whole = static_cast<unsigned long long>(std::llround(std::max(instructions, 0.0)));
    for (int digit = 0; digit == 0 || whole > 0; ++digit, whole /= 10) {
        if (digit > 0 && digit % 3 == 0)
            reversed.push_back(',');
        reversed.push_back(static_cast<char>('0' + whole % 10));
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

// Characters shown, for UTF-8 text.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(QString::fromStdString(text).size());
}

const char* YesNo(bool met) {
    return met ? "yes" : "NO";
}

void PrintTable(const std::vector<Row>& rows) {
    const std::vector<std::string> header = {"figure", "", "ours", "floor", "ratio", "goal", "met"};
    std::vector<std::size_t> widths(header.size());
    const auto cells = [](const Row& row) {
        return std::vector<std::string>{row.figure, row.kind, row.ours, row.floor,
                                        row.ratio,  row.goal, row.met};
    };
    for (std::size_t i = 0; i < header.size(); ++i)
        widths[i] = header[i].size();
    for (const Row& row : rows) {
        const auto texts = cells(row);
        for (std::size_t i = 0; i < texts.size(); ++i)
            widths[i] = std::max(widths[i], Width(texts[i]));
    }
    const auto print = [&](const std::vector<std::string>& texts) {
        std::string line = "|";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            line += " " + texts[i] + std::string(widths[i] - Width(texts[i]), ' ') + " |";
        }
        std::printf("%s\n", line.c_str());
    };
    print(header);
    std::string rule = "|";
    for (const std::size_t width : widths)
        rule += std::string(width + 2, '-') + "|";
    std::printf("%s\n", rule.c_str());
    for (const Row& row : rows)
        print(cells(row));
}

std::string CpuModel() {
    QFile info("/proc/cpuinfo");
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return line.mid(line.indexOf(':') + 1).trimmed().toStdString();
        }
    }
    return "unknown";
}

int Run() {
    Options options;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--quick")
            options.quick = true;
        else if (arguments[i] == "--build-dir" && i + 1 < arguments.size())
            options.buildDir = arguments[++i];
        else if (arguments[i] == "--only" && i + 1 < arguments.size())
            options.only = arguments[++i];
        else
            Fail("usage: bench_driver --build-dir DIR [--quick] [--only ticks|start|cpu]");
    }
    if (options.buildDir.isEmpty())
        Fail("usage: bench_driver --build-dir DIR [--quick] [--only ticks|start|cpu]");
    if (options.quick) {
        options.tickRepetitions = 5;
        options.tickMinTime = 0.05;
        options.instructionRuns = 50;
        options.startPairs = 5;
        options.settle = 0.5;
        options.cpuWindow = 10;
        options.cpuWarmUp = 2;
    }
    const auto wanted = [&](const char* part) {
        return options.only.isEmpty() || options.only == part;
    };

    std::vector<Row> rows;
    if (wanted("ticks")) {
        auto pairs = RunTickBench(options);
        auto counts = RunInstructionCounts(options);
        struct TickGoal {
            const char* name;
            std::string figure;
            double factor;
            double addedNs;
        };
        const std::vector<TickGoal> goals = {
            {"probe", "probe tick, device open", 1.2, 2000},
            {"rescan/1", "rescan tick, N = 1", 1.2, 0},
            {"rescan/10", "rescan tick, N = 10", 1.2, 0},
            {"rescan/100", "rescan tick, N = 100", 1.2, 0},
            {"reconnect", "reconnect tick", 1.5, 0},
        };
        for (const TickGoal& goal : goals) {
            const TickPair& pair = pairs[goal.name];
            if (pair.tick.Empty())
                Fail(QString("no times for ") + goal.name);
            const double oursNs = pair.tick.Median();
            const double floorNs = pair.floor.Median();
            std::string goalText = Format("<= %.1fx floor", goal.factor);
            if (goal.addedNs > 0)
                goalText += Format(" + %.0f us", goal.addedNs / 1000);
            rows.push_back({goal.figure, "time", WithSpread(pair.tick, 1, "%.0f", "ns"),
                            WithSpread(pair.floor, 1, "%.0f", "ns"),
                            WithSpread(pair.ratio, 1, "%.2f", ""), goalText,
                            // A goal on the ratio alone is judged on the paired ratios.
                            YesNo(goal.addedNs > 0 ? oursNs <= goal.factor * floorNs + goal.addedNs
                                                   : pair.ratio.Median() <= goal.factor)});
            const double oursIr = counts[std::string(goal.name) + "/tick"];
            const double floorIr = counts[std::string(goal.name) + "/floor"];
            if (oursIr > 0 && floorIr > 0) {
                // The added time, in instructions at the floor's own rate.
                const double addedIr = goal.addedNs * floorIr / floorNs;
                rows.push_back({"", "instr", Count(oursIr), Count(floorIr),
                                Format("%.2f", oursIr / floorIr), "the same, in instructions",
                                YesNo(oursIr <= goal.factor * floorIr + addedIr)});
            }
        }
        // How the rescan grows with N: per interface, at 10 and at 100.
        for (const int n : {10, 100}) {
            const std::string name = "rescan/" + std::to_string(n);
            const TickPair& pair = pairs[name];
            rows.push_back({n == 10 ? "rescan tick per interface" : "", "N = " + std::to_string(n),
                            Format("%.0f ns", pair.tick.Median() / n) + ", " +
                                Count(counts[name + "/tick"] / n) + " instr",
                            Format("%.0f ns", pair.floor.Median() / n) + ", " +
                                Count(counts[name + "/floor"] / n) + " instr",
                            Format("%.2f", pair.ratio.Median()), n == 10 ? "linear in N" : "", ""});
        }
        const double growth = (counts["rescan/100/tick"] / 100) / (counts["rescan/10/tick"] / 10);
        rows.back().met = YesNo(growth <= 1.1);
        rows.back().goal = Format("x%.2f per interface", growth);
    }

    std::optional<VirtualServer> server;
    if (wanted("start") || wanted("cpu"))
        server.emplace();
    if (wanted("start")) {
        const StartFigures starts = RunStarts(options, *server);
        const double ratio = starts.seconds[0].Median() / starts.seconds[1].Median();
        rows.push_back({"start to window shown, demo", "time",
                        WithSpread(starts.seconds[0], 1000, "%.1f", "ms"),
                        WithSpread(starts.seconds[1], 1000, "%.1f", "ms"), Format("%.2f", ratio),
                        "<= 1.2x bare window", YesNo(ratio <= 1.2)});
        const double memory = starts.kb[0].Median() / starts.kb[1].Median();
        rows.push_back({"resident memory after start, demo", "VmRSS",
                        WithSpread(starts.kb[0], 1.0 / 1024, "%.1f", "MiB"),
                        WithSpread(starts.kb[1], 1.0 / 1024, "%.1f", "MiB"), Format("%.2f", memory),
                        "<= 1.2x bare window", YesNo(memory <= 1.2)});
        rows.push_back({"for reference: merovane-config", "time",
                        WithSpread(starts.seconds[2], 1000, "%.1f", "ms"),
                        WithSpread(starts.seconds[1], 1000, "%.1f", "ms"),
                        Format("%.2f", starts.seconds[2].Median() / starts.seconds[1].Median()),
                        "-", ""});
        rows.push_back({"(real devices, one window)", "VmRSS",
                        WithSpread(starts.kb[2], 1.0 / 1024, "%.1f", "MiB"),
                        WithSpread(starts.kb[1], 1.0 / 1024, "%.1f", "MiB"),
                        Format("%.2f", starts.kb[2].Median() / starts.kb[1].Median()), "-", ""});
    }
    if (wanted("cpu")) {
        const CpuFigures cpu = RunCpu(options, *server);
        const std::string window = Format("%.0f s", options.cpuWindow);
        const auto rate = [](const std::vector<CpuRun>& runs) {
            double ticks = 0, wall = 0, paints = 0;
            for (const CpuRun& run : runs) {
                ticks += run.ticks;
                wall += run.wallSeconds;
                paints += run.paints;
            }
            return Format("%.1f ticks/s", ticks / wall) + ", " + Format("%.0f paints", paints);
        };
        const double open = cpu.openShare.Median();
        rows.push_back({"CPU over " + window + ", device open", "% core",
                        WithSpread(cpu.openShare, 100, "%.4f", "%"), "0", "-", "< 0.05 %",
                        YesNo(open * 100 < 0.05)});
        rows.push_back({"", "seen", rate(cpu.open), "", "", "", ""});
        const double idle = cpu.idleShare.Median() / cpu.floorShare.Median();
        rows.push_back({"CPU over " + window + ", no device, N = 10", "% core",
                        WithSpread(cpu.idleShare, 100, "%.4f", "%"),
                        WithSpread(cpu.floorShare, 100, "%.4f", "%"), Format("%.2f", idle),
                        "<= 1.2x floor", YesNo(idle <= 1.2)});
        rows.push_back({"", "seen", rate(cpu.idle), rate(cpu.floor), "", "", ""});
    }

    std::printf("\nMerovane Config benchmarks (%s run) on %d cores, %s\n\n",
                options.quick ? "quick" : "full",
                static_cast<int>(std::thread::hardware_concurrency()), CpuModel().c_str());
    PrintTable(rows);
    std::printf(
        "\nEach figure: the median of its repetitions, ± half their range relative to the median.\n"
        "Tick ratios: the median of the per-repetition ratios of pairs timed in alternation;\n"
        "other ratios: ours / floor of the medians. \"instr\": instructions per run under "
        "callgrind,\n"
        "the figure to compare across runs on a shared machine.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    try {
        return Run();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(failure.text));
        return 1;
    }
}
