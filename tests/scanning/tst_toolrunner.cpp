#include "common/HostWording.h"
#include "common/PlatformError.h"
#include "scanning/ScanError.h"
#include "scanning/ToolRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <stop_token>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const QString cancelled = u"Scan cancelled. Your previous inventory is preserved."_s;
const QString timedOut = u"The device did not respond within three minutes. Unlock it, check "
                         u"the cable and Trust setting, then try again."_s;
const QString connectionFailed =
    u"Device connection failed. Unlock your device and "_s + HostWording::confirmTrust() + u'.';

struct Result {
    QByteArray output;
    QString error; // empty when the tool succeeded
    bool launchError = false;
    bool awaitsUser = false;
    qint64 ms = 0;
};

Result run(ToolRunner &runner, const QString &name, const QStringList &arguments = {},
           std::stop_token stop = {})
{
    Result result;
    QElapsedTimer clock;
    clock.start();
    try {
        result.output = runner.run(name, arguments, std::nullopt, stop);
    } catch (const PlatformError &e) {
        result.error = e.description();
        result.launchError = e.kind() == PlatformError::Kind::Launch;
    } catch (const ScanError &e) {
        result.error = e.description();
        result.awaitsUser = e.awaitsUser();
    } catch (const Failure &e) {
        result.error = e.description();
    }
    result.ms = clock.elapsed();
    return result;
}

// The tools write a line to a file once they are running; this waits for it.
QByteArray waitForLine(const QString &path)
{
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(10ms)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            if (const QByteArray text = file.readAll(); text.endsWith('\n'))
                return text.trimmed();
    }
    return {};
}

// A zombie counts as gone: PID 1 in a container may never reap it.
bool processGone(pid_t pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
    }
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

constexpr QFile::Permissions executable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;

} // namespace

class TestToolRunner : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_resources, m_temp;
    QByteArray m_blob;

    QString path(const QString &name) const { return m_root.filePath(name); }

    // Named after the running case, so a failure points at its tool and files.
    static QString caseName()
    {
        QString name = QString::fromLatin1(QTest::currentTestFunction()) + u'-' +
            QString::fromUtf8(QTest::currentDataTag());
        return name.replace(QRegularExpression(u"[^A-Za-z0-9]+"_s), u"-"_s);
    }

    QString writeTool(QByteArray script, QFile::Permissions permissions = executable)
    {
        if (!script.startsWith("#!"))
            script.prepend("#!/bin/sh\n");
        QFile file(m_resources + u"/Tools/"_s + caseName());
        if (!file.open(QIODevice::WriteOnly) || file.write(script) < 0 ||
            !file.setPermissions(permissions))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return caseName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_resources = path(u"resources"_s);
        m_temp = path(u"tmp"_s);
        QVERIFY(QDir().mkpath(m_resources + u"/Tools"_s) && QDir().mkpath(m_temp));
        // A private temp folder, where leftovers can be seen.
        qputenv("TMPDIR", QFile::encodeName(m_temp));
        QCOMPARE(QDir::tempPath(), m_temp);
        for (int i = 0; i < 3 * 1024 * 1024; ++i)
            m_blob.append(char(i * 7 % 256));
        QFile blob(path(u"blob"_s));
        QVERIFY(blob.open(QIODevice::WriteOnly) && blob.write(m_blob) == m_blob.size());
    }

    // Whatever the outcome, a run leaves nothing in the temporary folder.
    void cleanup()
    {
        const QStringList left =
            QDir(m_temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &name : left) // so one failure does not spill into the next case
            QDir(m_temp + u'/' + name).removeRecursively();
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_s)));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("error");
        QTest::newRow("no output") << QByteArray("exit 0") << QByteArray() << QString();
        QTest::newRow("binary, no final newline") << QByteArray(R"(printf '\377\000ab\ncd')")
                                                  << QByteArray("\xff\0ab\ncd", 7) << QString();
        QTest::newRow("large output")
            << "cat '" + QFile::encodeName(path(u"blob"_s)) + "'" << m_blob << QString();
        QTest::newRow("warning on success")
            << QByteArray("echo warning >&2; echo ok") << QByteArray("ok\n") << QString();
        QTest::newRow("stdin is empty")
            << QByteArray("if read line; then echo \"read $line\"; else echo eof; fi")
            << QByteArray("eof\n") << QString();
        QTest::newRow("error text trimmed")
            << QByteArray(R"(echo partial; printf '\n  No device found.\n\n' >&2; exit 1)")
            << QByteArray() << u"No device found."_s;
        QTest::newRow("error text not UTF-8")
            << QByteArray(R"(printf 'bad \377\n' >&2; exit 1)") << QByteArray() << u"bad \uFFFD"_s;
        QTest::newRow("whitespace-only error text")
            << QByteArray(R"(printf ' \n\t \n' >&2; exit 1)") << QByteArray() << connectionFailed;
        QTest::newRow("exit 3, silent") << QByteArray("exit 3") << QByteArray() << connectionFailed;
        QTest::newRow("exit 2, stdout only")
            << QByteArray("echo 'half a list'; exit 2") << QByteArray() << connectionFailed;
        QTest::newRow("killed by a signal")
            << QByteArray("kill -KILL $$") << QByteArray() << connectionFailed;
        QTest::newRow("killed after explaining")
            << QByteArray("echo 'Lost connection' >&2; kill -KILL $$") << QByteArray()
            << u"Lost connection"_s;
        // The launcher's status for a locked device, or one whose Trust prompt waits.
        QTest::newRow("waiting: locked") << QByteArray("echo 'The device is locked.' >&2; exit 75")
                                         << QByteArray() << u"The device is locked."_s;
        QTest::newRow("waiting, silent")
            << QByteArray("exit 75") << QByteArray() << connectionFailed;
    }
    void outcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, output);
        QFETCH(QString, error);
        ToolRunner runner(m_resources);
        runner.setTimeLimit(600ms);
        const Result result = run(runner, writeTool(body));
        QCOMPARE(result.error, error);
        QCOMPARE(result.output, output);
        QCOMPARE(result.awaitsUser, QByteArray(QTest::currentDataTag()).startsWith("waiting"));
        // A tool that is done at once is neither waited on nor stopped.
        QVERIFY2(result.ms < 400, qPrintable(QString::number(result.ms)));
    }

    void argumentsPassedVerbatim_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("spaces") << QStringList{u"two words"_s, u"  padded  "_s};
        QTest::newRow("quotes") << QStringList{u"it's"_s, u"\"quoted\""_s, u"back\\slash"_s};
        QTest::newRow("shell syntax")
            << QStringList{u"$HOME"_s, u"*"_s, u"a;b|c&"_s, u"$(touch x)"_s, u"`id`"_s};
        QTest::newRow("empty strings") << QStringList{QString(), u"x"_s, QString()};
        QTest::newRow("newline, unicode") << QStringList{u"line\nbreak"_s, u"Café 📱"_s};
        QTest::newRow("options") << QStringList{u"-u"_s, u"--"_s, u"-n"_s};
    }
    void argumentsPassedVerbatim()
    {
        QFETCH(QStringList, arguments);
        QByteArray expected;
        for (const QString &argument : arguments)
            expected += argument.toUtf8() + '\0';
        ToolRunner runner(m_resources);
        const Result result =
            run(runner, writeTool(R"(for a in "$@"; do printf '%s\0' "$a"; done)"), arguments);
        QCOMPARE(result.error, QString());
        QCOMPARE(result.output, expected);
    }

    void environmentIsThreeVariables_data()
    {
        QTest::addColumn<QByteArray>("usbmuxd");
        QTest::newRow("the system's usbmuxd") << QByteArray();
        QTest::newRow("usbmuxd elsewhere") << QByteArray("UNIX:/tmp/usbmuxd-elsewhere");
    }
    void environmentIsThreeVariables()
    {
        QFETCH(QByteArray, usbmuxd);
        qputenv("USBMUXD_SOCKET_ADDRESS", usbmuxd);
        // env(1) itself: a shell would add variables of its own.
        QFile::remove(m_resources + u"/Tools/env"_s);
        QVERIFY(QFile::link(u"/usr/bin/env"_s, m_resources + u"/Tools/env"_s));
        ToolRunner runner(m_resources);
        const Result result = run(runner, u"env"_s);
        qunsetenv("USBMUXD_SOCKET_ADDRESS");
        QStringList lines = QString::fromUtf8(result.output).split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        QStringList expected{u"HOME="_s + QDir::homePath(), u"LANG=en_US.UTF-8"_s,
                             u"PATH=/usr/bin:/bin"_s};
        if (!usbmuxd.isEmpty())
            expected.append(u"USBMUXD_SOCKET_ADDRESS="_s + QString::fromLatin1(usbmuxd));
        QCOMPARE(lines, expected);
    }

    void launchFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("runnable");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("not executable") << QByteArray("echo hi") << false;
        QTest::newRow("missing interpreter") << QByteArray("#!/nonexistent/sh\n") << true;
        QTest::newRow("folder") << QByteArray() << true;
    }
    void launchFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, runnable);
        QString tool = caseName();
        if (!script.isEmpty())
            writeTool(script, runnable ? executable : QFile::ReadOwner | QFile::WriteOwner);
        else if (runnable)
            QVERIFY(QDir().mkpath(m_resources + u"/Tools/"_s + tool));
        ToolRunner runner(m_resources);
        const Result result = run(runner, tool);
        QVERIFY2(result.launchError, qPrintable(result.error));
        QVERIFY2(result.error.contains(u"“"_s + tool + u"”"_s), qPrintable(result.error));
        // Only a tool that is really absent is reported as missing from its folder.
        QCOMPARE(result.error.contains(u"is not in the folder"_s),
                 !QFileInfo::exists(m_resources + u"/Tools/"_s + tool));
    }

    // Each tool starts a background child and writes its pid to "$1": stopping a tool must
    // stop its whole process group.
    void stopsTool_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("how"); // "cancel", "time-out" or "flood"
        const QByteArray child = "sleep 30 & echo $! > \"$1\"; ";
        const QByteArray stubbornChild = "(trap '' TERM; exec sleep 30) & echo $! > \"$1\"; ";
        const QByteArray ignoreTerm = "trap '' TERM; " + child + "while :; do sleep 0.05; done";
        for (const QString &how : {u"cancel"_s, u"time-out"_s}) {
            const QByteArray tag = how.toUtf8() + ", ";
            QTest::newRow((tag + "obeys TERM").constData()) << child + "wait" << how;
            QTest::newRow((tag + "ignores TERM").constData()) << ignoreTerm << how;
            QTest::newRow((tag + "child ignores TERM").constData())
                << stubbornChild + "wait" << how;
        }
        // Cancellation wins even when the tool then succeeds or explains itself.
        QTest::newRow("cancel, exits 0 on TERM")
            << "trap 'exit 0' TERM; echo partial; " + child + "wait" << u"cancel"_s;
        QTest::newRow("cancel, reports error on TERM")
            << "trap 'echo boom >&2; exit 1' TERM; " + child + "wait" << u"cancel"_s;
        QTest::newRow("flood, stdout") << QByteArray("yes & echo $! > \"$1\"; wait") << u"flood"_s;
        QTest::newRow("flood, stderr")
            << QByteArray("yes >&2 & echo $! > \"$1\"; wait") << u"flood"_s;
    }
    void stopsTool()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, how);
        ToolRunner runner(m_resources);
        runner.setTimeLimit(how == u"time-out" ? 500ms : 5000ms);
        runner.setOutputLimit(1024 * 1024);
        const QString tool = writeTool(body), pidFile = path(caseName());
        Clock::time_point cancelledAt;
        Clock::duration cancelTook{};
        std::thread canceller([&] {
            if (how != u"cancel" || waitForLine(pidFile).isEmpty())
                return;
            std::this_thread::sleep_for(50ms);
            cancelledAt = Clock::now();
            runner.cancel();
            cancelTook = Clock::now() - cancelledAt;
        });
        const Result result = run(runner, tool, {pidFile});
        const Clock::time_point returnedAt = Clock::now();
        canceller.join();

        if (how == u"cancel") {
            QCOMPARE(result.error, cancelled);
            QVERIFY(cancelTook < 150ms); // never waits for the 30-second tool
            QVERIFY(returnedAt - cancelledAt < 800ms); // one poll plus the grace period
            // A cancelled runner starts nothing more.
            const Result again = run(runner, tool, {pidFile + u".again"_s});
            QCOMPARE(again.error, cancelled);
            QVERIFY(again.ms < 150 && !QFile::exists(pidFile + u".again"_s));
        } else if (how == u"time-out") {
            QCOMPARE(result.error, timedOut);
            QVERIFY2(result.ms >= 500 && result.ms < 1500, qPrintable(QString::number(result.ms)));
        } else {
            QVERIFY2(result.error.startsWith(u"The device tool “%1” printed far more"_s.arg(tool)),
                     qPrintable(result.error));
            QVERIFY2(result.ms < 1500, qPrintable(QString::number(result.ms)));
        }
        const pid_t child = pid_t(waitForLine(pidFile).toInt());
        QVERIFY(child > 0);
        bool gone = false;
        for (int i = 0; i < 50 && !(gone = processGone(child)); ++i)
            std::this_thread::sleep_for(10ms);
        if (!gone)
            ::kill(child, SIGKILL);
        QVERIFY2(gone, "a process started by the tool outlived it");
    }

    // A tool that never stops printing gets no further than the limit and one pipe's worth:
    // it is held by the full pipe, not read to the end or left to fill a disk.
    void floodStopsNearTheLimit()
    {
        constexpr qint64 limit = 256 * 1024;
        ToolRunner runner(m_resources);
        runner.setOutputLimit(limit);
        const QString counter = path(caseName());
        const Result result =
            run(runner,
                writeTool(R"(n=0; while printf '%1024s' ''; do n=$((n+1)); echo $n >> "$1"; done)"),
                {counter});
        QVERIFY2(result.error.contains(u"printed far more"_s), qPrintable(result.error));
        QFile file(counter);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 written = file.readAll().trimmed().split('\n').last().toLongLong() * 1024;
        QVERIFY2(written >= limit / 2 && written < limit + 256 * 1024,
                 qPrintable(QString::number(written)));
    }

    void memoryLimit_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("error");
        const QString tooLarge = u"The device\u2019s answer was too large: the device tool \u201C"
                                 "%1\u201D reached its memory limit of 256 MB reading it and was "
                                 "stopped. Previous inventory preserved."_s;
        // Filled, not just reserved, as a parser fills what it builds.
        QTest::newRow("allocates without bound")
            << QByteArray("exec python3 -c 'x = []\nwhile True: x.append(b\"x\" * 10**7)'")
            << tooLarge;
        QTest::newRow("fails within the limit")
            << QByteArray("python3 -c 'x = b\"x\" * 10**7'; echo 'No device found.' >&2; exit 1")
            << u"No device found."_s;
        QTest::newRow("needs little") << QByteArray("echo listed") << QString();
    }
    // A tool that builds an answer without bound is stopped by its memory limit within moments,
    // and says so, instead of eating the machine's memory until its time runs out.
    void memoryLimit()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        ToolRunner runner(m_resources);
        runner.setMemoryLimit(256'000'000);
        const QString tool = writeTool(script);
        const Result result = run(runner, tool);
        QCOMPARE(result.error, error.contains(u"%1"_s) ? error.arg(tool) : error);
        QVERIFY2(result.ms < 20'000, qPrintable(QString::number(result.ms)));
    }

    // Run under the sanitizers, this is where a race in cancel() would show.
    // Two tools on two threads at once: each gets its own output, a cancel stops both at once,
    // and a stop stops only the tool it was given to.
    void sideBySide_data()
    {
        QTest::addColumn<QString>("how"); // "finish", "cancel" or "stop"
        QTest::newRow("both finish") << u"finish"_s;
        QTest::newRow("a cancel stops both") << u"cancel"_s;
        QTest::newRow("a stop stops one") << u"stop"_s;
    }
    void sideBySide()
    {
        QFETCH(QString, how);
        ToolRunner runner(m_resources);
        runner.setTimeLimit(5s);
        // Says it runs by writing $3, then waits for $4: two that wait for each other finish
        // only side by side.
        const QString tool = writeTool("echo \"$1\"; sleep 30 & echo $! > \"$2\"; : > \"$3\"\n"
                                       "while [ ! -e \"$4\" ]; do sleep 0.01; done\nkill $!\n");
        const QString base = path(caseName());
        const QStringList pids{base + u".pid1"_s, base + u".pid2"_s};
        const QStringList running{base + u".running1"_s, base + u".running2"_s};
        const bool finish = how == u"finish";
        const QString never = base + u".never"_s;
        std::stop_source stop;
        Result first, second;
        std::thread one([&] {
            first = run(runner, tool, {u"one"_s, pids[0], running[0], finish ? running[1] : never});
        });
        std::thread two([&] {
            second = run(runner, tool, {u"two"_s, pids[1], running[1], finish ? running[0] : never},
                         stop.get_token());
        });
        const pid_t children[] = {pid_t(waitForLine(pids[0]).toInt()),
                                  pid_t(waitForLine(pids[1]).toInt())};
        QVERIFY(children[0] > 0 && children[1] > 0);
        if (how == u"cancel")
            runner.cancel();
        else if (how == u"stop")
            stop.request_stop();
        two.join();
        if (how == u"stop") {
            // The other tool runs on, and the runner is not cancelled.
            QCOMPARE(second.error, cancelled);
            QVERIFY(!processGone(children[0]) && !runner.isCancelled());
            runner.cancel();
        }
        one.join();
        if (finish) {
            QCOMPARE(first.error, QString());
            QCOMPARE(second.error, QString());
            QCOMPARE(first.output, "one\n");
            QCOMPARE(second.output, "two\n");
        } else {
            QCOMPARE(first.error, cancelled);
            QCOMPARE(second.error, cancelled);
        }
        for (const pid_t child : children) {
            bool gone = false;
            for (int i = 0; i < 50 && !(gone = processGone(child)); ++i)
                std::this_thread::sleep_for(10ms);
            if (!gone)
                ::kill(child, SIGKILL);
            QVERIFY2(gone, "a process started by a tool outlived it");
        }
    }

    void concurrentCancels_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("idle") << false;
        QTest::newRow("while a tool runs") << true;
    }
    void concurrentCancels()
    {
        QFETCH(bool, running);
        ToolRunner runner(m_resources);
        runner.setTimeLimit(5s);
        const QString tool = writeTool("echo $$ > \"$1\"; exec sleep 30");
        const QString marker = path(caseName());
        std::atomic<bool> go = false;
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&] {
                while (!go)
                    std::this_thread::sleep_for(1ms);
                for (int i = 0; i < 2000; ++i) {
                    runner.cancel();
                    (void)runner.isCancelled();
                }
            });
        Result result;
        if (running) {
            std::thread starter([&] {
                waitForLine(marker);
                go = true;
            });
            result = run(runner, tool, {marker});
            starter.join();
        }
        go = true;
        for (std::thread &thread : threads)
            thread.join();
        if (!running) // and then nothing may start
            result = run(runner, tool, {marker});
        QCOMPARE(result.error, cancelled);
        QCOMPARE(QFile::exists(marker), running);
    }
};

QTEST_GUILESS_MAIN(TestToolRunner)
#include "tst_toolrunner.moc"
