#pragma once

#include <QString>

#include <exception>

class QWidget;

// Shows an error that a handler left untrapped: a message box with its number and its
// description. The program goes on afterwards with the window as it was, so a missing
// or broken assembler costs the user nothing that was typed.
void ReportUntrappedError(QWidget *window, const std::exception &error);

// Runs a click handler and reports whatever error it leaves untrapped, so that no
// exception ever travels through Qt's event loop.
template<typename Handler>
void RunHandler(QWidget *window, Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        ReportUntrappedError(window, error);
    }
}
