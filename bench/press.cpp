// Times a press of "Assemble !" on the real window with the real launch: from the click
// until it returns, when the assembler has been started. A quick program named tarnwick
// (a link to true) stands in for the assembler, so the figure is the front end's own cost
// and not the assembler's.
//
//   bench-press [PRESSES]     prints "median_ms p95_ms presses qt_version"
#include "form1.h"
#include "processstarter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// The real starter, counting the processes it started, so that a press that started
// nothing cannot pass for a quick one.
class CountingStarter : public ProgramStarter
{
public:
    CountingStarter(const QString &folder, int *started)
        : m_real(QStringList{folder}), m_started(started)
    {
    }
    qint64 start(const QString &commandLine, ShowMode mode) override
    {
        const qint64 pid = m_real.start(commandLine, mode);
        if (pid > 0)
            ++*m_started;
        return pid;
    }

private:
    ProcessStarter m_real;
    int *m_started;
};

double percentile(std::vector<double> sorted, double fraction)
{
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted.at(index);
}

[[noreturn]] void fail(const char *message)
{
    std::fprintf(stderr, "bench-press: %s\n", message);
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int presses = argc > 1 ? std::atoi(argv[1]) : 200;
    if (presses < 1)
        fail("the number of presses must be at least 1");

    const QString truePath = QStandardPaths::findExecutable(QStringLiteral("true"));
    QTemporaryDir folder;
    if (truePath.isEmpty() || !folder.isValid()
        || !QFile::link(truePath, folder.filePath(QStringLiteral("tarnwick"))))
        fail("cannot put a quick tarnwick in a temporary folder");

    int started = 0;
    Form1 form(std::make_unique<CountingStarter>(folder.path(), &started));
    form.show();

    auto *source = form.findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *output = form.findChild<QLineEdit *>(QStringLiteral("Text2"));
    auto *assemble = form.findChild<QPushButton *>(QStringLiteral("Command2"));
    if (!source || !output || !assemble)
        fail("the window has no Text1, Text2 or Command2");
    source->setText(QStringLiteral("/home/user/My Projects/demo.asm"));
    output->setText(QStringLiteral("demo"));

    // The presses run without an event loop, so this timer fires only inside a nested
    // one: the error box a failed start brings up. Then the figures would be wrong.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] { fail("a press showed an error box"); });
    watchdog.start(0);

    // The first presses fault in the launch's code and warm the caches.
    for (int i = 0; i < 5; ++i)
        assemble->click();

    std::vector<double> times;
    times.reserve(static_cast<size_t>(presses));
    QElapsedTimer timer;
    for (int i = 0; i < presses; ++i) {
        timer.start();
        assemble->click();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    if (started != presses + 5)
        fail("not every press started the assembler");

    std::printf("%.3f %.3f %d %s\n", percentile(times, 0.5), percentile(times, 0.95), presses,
                qVersion());
    return 0;
}
