#pragma once

#include <array>

// The window's fixed layout. Lengths are in twips (1/1440 inch) from the top-left corner
// of the client area; at 15 twips to a device-independent pixel Qt's high-DPI scaling
// keeps the proportions on any screen.
namespace Form1Layout {

static constexpr int TwipsPerPixel = 15;
static constexpr int ClientWidth = 3555;
static constexpr int ClientHeight = 3810;

static constexpr char Caption[] = "Handy tarnwick arm add-on";

enum class Control { Command1, Label1, Text1, Label2, Text2, Command2, Label3 };
enum class Kind { PushButton, Label, TextBox };

struct Row
{
    Control control;
    const char *name;
    Kind kind;
    const char *caption;
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
};

// Top to bottom. The tab index decides the focus order; labels take no focus, so theirs
// only keeps the numbering whole.
static constexpr std::array<Row, 7> Rows{{
        {Control::Command1, "Command1", Kind::PushButton, "Browse", 840, 120, 1815, 495, 1},
        {Control::Label1, "Label1", Kind::Label, "Input file:", 360, 720, 2775, 255, 2},
        {Control::Text1, "Text1", Kind::TextBox, "", 120, 1080, 3255, 375, 0},
        {Control::Label2, "Label2", Kind::Label, "Name output file: (.gba is automatically added)",
         120, 1560, 3255, 255, 4},
        {Control::Text2, "Text2", Kind::TextBox, "", 120, 1920, 3255, 375, 3},
        {Control::Command2, "Command2", Kind::PushButton, "Assemble !", 840, 2520, 1815, 735, 5},
        {Control::Label3, "Label3", Kind::Label, "A front end for the tarnwick assembler", 240,
         3480, 3135, 255, 6},
}};

// Each text box is named by the label above it: assistive technology announces a box by
// its buddy label's caption. The captions carry no access-key marker, so the tie adds no
// keyboard shortcut.
struct Buddy
{
    Control label;
    Control box;
};

static constexpr std::array<Buddy, 2> Buddies{{
        {Control::Label1, Control::Text1},
        {Control::Label2, Control::Text2},
}};

constexpr int pixels(int twips)
{
    return twips / TwipsPerPixel;
}

} // namespace Form1Layout
