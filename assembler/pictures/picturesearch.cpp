#include "picturesearch.h"

#include "conversion.h"
#include "dataobject.h"
#include "diagnostics.h"
#include "lz77.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick::Pictures {

namespace {

// What the data of one picture may take at most: a whole cartridge.
constexpr std::uint64_t CartridgeSize = 32 * 1024 * 1024;
// A picture with more pixels than a cartridge holds at 4 bits a pixel is refused before it
// is decoded.
constexpr std::uint64_t MaxPixels = CartridgeSize * 2;
// A picture file or its options larger than this is not read.
constexpr std::uint64_t MaxFileSize = 64 * 1024 * 1024;

constexpr const char *Extensions[] = { ".png", ".bmp" };
// The names a picture gives, each with its length beside it.
constexpr const char *Suffixes[] = { "Tiles", "Bitmap", "Map", "Pal" };

enum class Text { CannotRead, Clash, Refused, TooMuchData, Option };

// The messages of the search, by kind; the file comes before each.
const std::map<Text, const char *> Texts = {
    { Text::CannotRead, ": error: cannot read the picture: " },
    { Text::Clash,
        " and %s are as near to the source and both could give `%n', so tarnwick cannot tell "
        "which one the program means; rename one of them, or move it into a folder of its "
        "own" },
    { Text::Refused, ": error: " },
    { Text::TooMuchData, ": error: the converted data is more than a cartridge can hold" },
    { Text::Option, ": warning: " },
};

std::string message(
    Text text, const std::string &file, const std::string &other = {}, const std::string &name = {})
{
    std::string result = Texts.at(text);
    if (const std::size_t at = result.find("%s"); at != std::string::npos)
        result.replace(at, 2, other);
    if (const std::size_t at = result.find("%n"); at != std::string::npos)
        result.replace(at, 2, name);
    return file + (text == Text::Clash ? ": error: " + file : std::string()) + result;
}

// The whole of a regular file no larger than MaxFileSize; a pipe or a device is not opened
// for reading, so that it cannot hold the run.
bool readRegular(const std::string &path, Bytes *contents, std::string *problem)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *problem = std::strerror(errno);
        return false;
    }
    struct stat status
    {
    };
    bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
        && std::uint64_t(status.st_size) <= MaxFileSize;
    *problem = read ? std::string() : "it is not a regular file of at most 64 MiB";
    contents->clear();
    unsigned char buffer[65536];
    for (ssize_t got = 0; read && (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 || contents->size() + std::size_t(got) > MaxFileSize) {
            *problem = got < 0 ? std::strerror(errno) : "it is larger than 64 MiB";
            read = false;
        } else {
            contents->insert(contents->end(), buffer, buffer + got);
        }
    }
    ::close(fd);
    return read;
}

bool isRegular(const std::string &path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

std::string pictureName(std::string name)
{
    if (name.empty()
        || name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_")
            != std::string::npos)
        return {};
    if (name.size() > 3 && name.compare(name.size() - 3, 3, "Len") == 0)
        name.resize(name.size() - 3);
    for (const char *suffix : Suffixes) {
        const std::size_t length = std::strlen(suffix);
        if (name.size() > length && name.compare(name.size() - length, length, suffix) == 0)
            return name.substr(0, name.size() - length);
    }
    return {};
}

namespace {

// Converts the picture into its pieces under their names; false after saying why not.
bool convertPicture(const std::string &name, Found *picture, std::vector<NamedData> *pieces,
    std::vector<std::string> *messages)
{
    const std::string shown = withControlsEscaped(picture->asGiven);
    Bytes file;
    std::string problem;
    if (!readRegular(picture->path, &file, &problem)) {
        messages->push_back(message(Text::CannotRead, shown) + problem);
        return false;
    }
    picture->inputs = { picture->path };
    Options options;
    const std::string optionsPath
        = picture->path.substr(0, picture->path.find_last_of('.')) + ".grit";
    if (isRegular(optionsPath)) {
        Bytes text;
        if (!readRegular(optionsPath, &text, &problem)) {
            messages->push_back(message(Text::CannotRead, optionsPath) + problem);
            return false;
        }
        picture->inputs.push_back(optionsPath);
        std::vector<OptionProblem> problems;
        options = readOptions(std::string(text.begin(), text.end()), &problems);
        const std::string optionsShown = withControlsEscaped(
            picture->asGiven.substr(0, picture->asGiven.find_last_of('.')) + ".grit");
        for (const OptionProblem &each : problems)
            messages->push_back(
                message(Text::Option, optionsShown + ':' + std::to_string(each.line)) + each.text);
    }

    Picture decoded;
    Converted converted;
    if (!(problem = decode(file, MaxPixels, &decoded)).empty()
        || !(problem = convert(decoded, options, &converted)).empty()) {
        messages->push_back(message(Text::Refused, shown) + problem);
        return false;
    }
    pieces->clear();
    const auto add = [&](const char *suffix, const Bytes &bytes, bool packed) {
        if (!bytes.empty())
            pieces->push_back({ name + suffix, packed ? packLz77(bytes) : bytes });
    };
    add(converted.bitmap ? "Bitmap" : "Tiles", converted.graphics, options.packGraphics);
    add("Map", converted.map, options.packMap);
    add("Pal", converted.palette, options.packPalette);
    std::uint64_t total = 0;
    for (const NamedData &piece : *pieces)
        total += piece.bytes.size();
    if (total > CartridgeSize) {
        messages->push_back(message(Text::TooMuchData, shown));
        return false;
    }
    return true;
}

// The picture that gives name's names in the nearest folder that holds one, in *picture: 1
// when found, 0 when no folder holds one, -1 when two are as near, said in *messages.
int nearestPicture(const std::string &name, const std::vector<Folder> &folders, Found *picture,
    std::vector<std::string> *messages)
{
    std::vector<Found> nearest;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (!nearest.empty() && folders[i].distance > folders[i - 1].distance)
            break;
        for (const char *extension : Extensions) {
            const std::string path = folders[i].path + name + extension;
            if (isRegular(path))
                nearest.push_back({ folders[i].spelt + name + extension, path, {}, {} });
        }
    }
    if (nearest.size() > 1) {
        messages->push_back(message(Text::Clash, withControlsEscaped(nearest[0].asGiven),
            withControlsEscaped(nearest[1].asGiven), name));
        return -1;
    }
    if (nearest.empty())
        return 0;
    *picture = std::move(nearest.front());
    return 1;
}

} // namespace

bool findPictures(const std::vector<std::string> &needed, const std::vector<Folder> &folders,
    const std::vector<std::string> &taken, std::vector<Found> *found,
    std::vector<std::string> *messages)
{
    found->clear();
    std::vector<std::string> names;
    for (const std::string &symbol : needed) {
        const std::string name = pictureName(symbol);
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    for (const std::string &name : names) {
        Found picture;
        const int near = nearestPicture(name, folders, &picture, messages);
        if (near < 0) {
            found->clear();
            return false;
        }
        if (near == 0 || std::find(taken.begin(), taken.end(), picture.path) != taken.end())
            continue;
        std::vector<NamedData> pieces;
        if (!convertPicture(name, &picture, &pieces, messages)) {
            found->clear();
            return false;
        }
        picture.object = dataObject(picture.asGiven, pieces);
        found->push_back(std::move(picture));
    }
    return true;
}

bool pictureHeader(const std::string &name, const std::vector<Folder> &folders, std::string *header,
    std::vector<std::string> *inputs, std::vector<std::string> *messages)
{
    header->clear();
    Found picture;
    std::vector<NamedData> pieces;
    const int near = nearestPicture(name, folders, &picture, messages);
    if (near <= 0)
        return near == 0;
    if (!convertPicture(name, &picture, &pieces, messages))
        return false;
    // Plain defines between a guard: valid C, and valid assembly once cpp has read it. The
    // picture's path is left out, so that nothing of a file name reaches the text.
    *header = "/* The lengths in bytes of the data made of the picture " + name
        + ", as its absolute symbols give them. */\n#ifndef TARNWICK_PICTURE_" + name
        + "_H\n#define TARNWICK_PICTURE_" + name + "_H\n";
    for (const NamedData &piece : pieces)
        *header += "#define " + piece.name + "Len " + std::to_string(piece.bytes.size()) + '\n';
    *header += "#endif\n";
    inputs->insert(inputs->end(), picture.inputs.begin(), picture.inputs.end());
    return true;
}

} // namespace Tarnwick::Pictures
