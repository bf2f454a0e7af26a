#include "options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace Tarnwick::Pictures {

namespace {

// Options that change nothing in the data as tarnwick links it: the output's file format,
// its header file, the data's unit size (the bytes are the same) and the converter's talk.
constexpr const char *WithoutEffect[] = { "-fh", "-fh!", "-fa", "-ftb", "-fts", "-ftc", "-fts!",
    "-gu8", "-gu16", "-gu32", "-mu8", "-mu16", "-mu32", "-pu8", "-pu16", "-pu32", "-W1", "-W2",
    "-W3", "-q", "-g", "-mLf", "-gzn", "-mzn", "-pzn", "-Zn", "-gz!", "-mz!", "-pz!", "-Z!" };

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

Options readOptions(const std::string &text, std::vector<OptionProblem> *problems)
{
    Options options;
    std::vector<std::pair<std::string, int>> words;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream in(line.substr(0, line.find('#')));
        for (std::string word; in >> word;)
            words.emplace_back(word, number);
    }

    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i].first;
        const int number = words[i].second;
        // The number after an option's letters: joined, or the next word.
        const auto value = [&](std::size_t letters, int base, int low, long high, int *into) {
            std::string digits = word.substr(letters);
            if (digits.empty() && i + 1 < words.size()
                && std::isxdigit(static_cast<unsigned char>(words[i + 1].first[0])))
                digits = words[++i].first;
            char *end = nullptr;
            const long read = std::strtol(digits.c_str(), &end, base);
            if (digits.empty() || *end != '\0' || read < low || read > high) {
                problems->push_back({ number,
                    "option " + word + " needs a number from " + std::to_string(low) + " to "
                        + std::to_string(high) + "; it is ignored" });
                return false;
            }
            *into = int(read);
            return true;
        };
        const auto reductions = [&](const std::string &letters) {
            options.reduceTiles = letters.find('t') != std::string::npos;
            options.reducePalettes = letters.find('p') != std::string::npos;
            options.reduceFlips = letters.find('f') != std::string::npos;
        };
        int number0 = 0;
        if (word == "-gt")
            options.graphics = Options::Graphics::Tiles;
        else if (word == "-gb")
            options.graphics = Options::Graphics::Bitmap;
        else if (word == "-g!")
            options.graphics = Options::Graphics::None;
        else if (word == "-gB4" || word == "-gB8" || word == "-gB16")
            options.bits = std::atoi(word.c_str() + 3);
        else if (word == "-p")
            options.palette = true;
        else if (word == "-p!")
            options.palette = false;
        else if (startsWith(word, "-pn"))
            value(3, 10, 1, 256, &options.paletteCount);
        else if (startsWith(word, "-ps"))
            value(3, 10, 0, 255, &options.paletteStart);
        else if (startsWith(word, "-pe"))
            value(3, 10, 1, 256, &options.paletteEnd);
        else if (startsWith(word, "-pT"))
            value(3, 10, 0, 255, &options.transparentIndex);
        else if (startsWith(word, "-gT") && word != "-gT!") {
            if (value(3, 16, 0, 0xFFFFFF, &number0)) {
                options.transparentColour = std::uint32_t(number0);
                options.transparentColourSet = true;
            }
        } else if (word == "-m")
            options.map = true;
        else if (word == "-m!")
            options.map = false;
        else if (word == "-mR!")
            reductions("");
        else if (word == "-mR4")
            reductions("tpf");
        else if (word == "-mR8")
            reductions("tf");
        else if (startsWith(word, "-mR") && word.find_first_not_of("tpf", 3) == std::string::npos
            && word.size() > 3)
            reductions(word.substr(3));
        else if (word == "-mLs")
            options.screenBlocks = true;
        else if (word == "-gzl")
            options.packGraphics = true;
        else if (word == "-mzl")
            options.packMap = true;
        else if (word == "-pzl")
            options.packPalette = true;
        else if (word == "-Zl")
            options.packGraphics = options.packMap = options.packPalette = true;
        else if (startsWith(word, "-Mw"))
            value(3, 10, 1, 64, &options.metaWidth);
        else if (startsWith(word, "-Mh"))
            value(3, 10, 1, 64, &options.metaHeight);
        else if (std::find(std::begin(WithoutEffect), std::end(WithoutEffect), word)
            == std::end(WithoutEffect))
            problems->push_back(
                { number, "option " + word + " is not one tarnwick knows; it is ignored" });
    }
    return options;
}

} // namespace Tarnwick::Pictures
