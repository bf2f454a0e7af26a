// The command the front end builds must reach the assembler as the user typed it: split
// the way the launch splits it, it gives the program name, the source path (left out
// when empty, as the blank before it is all that remains) and the output name with
// ".gba", each as one argument whatever blanks, tabs or backslashes it holds.
//
// The input is read as UTF-8 (bad sequences become U+FFFD). The first NUL separates the
// source path from the output name; double quotes are dropped from a text without a blank
// or a tab, because such a text is passed on as typed and its quoting is the user's.
#include "assemblecommand.h"
#include "commandline.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Shows every character of a text, so that a report tells blanks, tabs and backslashes
// apart.
QByteArray visible(const QString &text)
{
    QByteArray shown = "\"";
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == u'\\' || c == u'"') {
            shown += '\\';
            shown += char(u);
        } else if (c == u'\t') {
            shown += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            shown += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        } else if (c.isSurrogate()) {
            // One half of a pair says nothing on its own in UTF-8; show its code.
            shown += "\\u" + QByteArray::number(u, 16);
        } else {
            shown += QString(c).toUtf8();
        }
    }
    return shown + "\"";
}

[[noreturn]] void reportMismatch(const QString &source, const QString &output,
                                 const QString &command, const QStringList &expected,
                                 const QStringList &got)
{
    std::fprintf(stderr, "round trip mismatch\n  source:  %s\n  output:  %s\n  command: %s\n",
                 visible(source).constData(), visible(output).constData(),
                 visible(command).constData());
    std::fprintf(stderr, "  expected %lld arguments:\n", static_cast<long long>(expected.size()));
    for (const QString &argument : expected)
        std::fprintf(stderr, "    %s\n", visible(argument).constData());
    std::fprintf(stderr, "  got %lld arguments:\n", static_cast<long long>(got.size()));
    for (const QString &argument : got)
        std::fprintf(stderr, "    %s\n", visible(argument).constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
            QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype split = text.indexOf(QChar(u'\0'));
    QString source = split < 0 ? text : text.left(split);
    QString output = split < 0 ? QString() : text.mid(split + 1);
    for (QString *piece : { &source, &output }) {
        if (!piece->contains(u' ') && !piece->contains(u'\t'))
            piece->remove(u'"');
    }

    const QString command = BuildAssembleCommand(source, output);
    const QStringList got = SplitCommandLine(command);

    QStringList expected{QStringLiteral("tarnwick")};
    if (!source.isEmpty())
        expected.append(source);
    expected.append(output + QStringLiteral(".gba"));

    if (got != expected)
        reportMismatch(source, output, command, expected, got);
    return 0;
}
