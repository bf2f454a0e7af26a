#pragma once

#include <QString>
#include <QStringList>

namespace Tarnwick {

static constexpr int ExitSuccess = 0;
static constexpr int ExitFailure = 1;
static constexpr int ExitWrongUse = 2;

struct Invocation
{
    enum class Kind { Assemble, Help, WrongUse };

    Kind kind = Kind::WrongUse;
    QString source;
    QString output;
    // For WrongUse: what to print after the usage line.
    QString problem;
};

class Arguments
{
public:
    // arguments excludes the program name.
    static Invocation parse(const QStringList &arguments);
    static QString usage();
    // The argument as the shell would need it, so that a stray blank or an
    // empty argument shows up in messages.
    static QString quoted(const QString &argument);
};

} // namespace Tarnwick
