#include "arguments.h"
#include "cartridgebuild.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // An output that is a pipe whose reader went away must fail with a message, not end
    // the program silently.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    QTextStream errors(stderr);

    using Tarnwick::Arguments;
    using Tarnwick::Invocation;
    const Invocation invocation = Arguments::parse(QCoreApplication::arguments().mid(1));
    switch (invocation.kind) {
    case Invocation::Kind::Help:
        QTextStream(stdout) << Arguments::usage() << Qt::endl;
        return Tarnwick::ExitSuccess;
    case Invocation::Kind::WrongUse:
        errors << Arguments::usage() << Qt::endl << invocation.problem << Qt::endl;
        return Tarnwick::ExitWrongUse;
    case Invocation::Kind::Assemble:
        break;
    }
    return Tarnwick::CartridgeBuild(invocation.source, invocation.output, errors).run();
}
