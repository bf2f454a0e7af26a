#include "arguments.h"
#include "cartridgebuild.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
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
