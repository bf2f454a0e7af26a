#pragma once

#include "bytes.h"

#include <string>
#include <vector>

namespace Tarnwick::Pictures {

// A folder where pictures are looked for.
struct Folder
{
    // Absolute and resolved, ending in '/'.
    std::string path;
    // As messages name it (empty for the current folder), ending in '/' unless empty.
    std::string spelt;
    // Steps from the chosen source's folder; nearer folders are searched first.
    int distance = 0;
};

// A picture converted for the program: its data as an object to link.
struct Found
{
    // As messages name it, and absolute.
    std::string asGiven;
    std::string path;
    // The picture and its options file, if any, absolute: what the run read.
    std::vector<std::string> inputs;
    Bytes object;
};

// The picture's base name for a name the program needs: "hero" for heroTiles or heroMapLen;
// empty for a name no picture gives. Only a name of letters, digits and underscores, as the
// converter makes names: a quoted symbol such as "../../x/yTiles" must not reach files
// outside the project's folders.
std::string pictureName(std::string name);

// Finds and converts the pictures that give names the program needs and no source defines:
// NAMETiles, NAMEMap, NAMEPal and NAMEBitmap, and their lengths NAMETilesLen and so on, come
// from NAME.png or NAME.bmp in the nearest folder that holds one, converted as NAME.grit
// beside it says. Two at the same distance are refused, as two sources that define one name
// are. Pictures whose path is in taken are not looked at again. Reads the pictures and
// their options, writes nothing. Warnings and errors go to *messages; false after an error,
// with nothing in *found.
bool findPictures(const std::vector<std::string> &needed, const std::vector<Folder> &folders,
    const std::vector<std::string> &taken, std::vector<Found> *found,
    std::vector<std::string> *messages);

// The text of NAME.h for a source run through the preprocessor: NAMETilesLen and the other
// lengths as #defines, the values of the absolute symbols of the picture findPictures would
// take for them. Empty when no folder holds a picture called name; the picture and its
// options file go to *inputs. False after an error said in *messages.
bool pictureHeader(const std::string &name, const std::vector<Folder> &folders, std::string *header,
    std::vector<std::string> *inputs, std::vector<std::string> *messages);

} // namespace Tarnwick::Pictures
