#pragma once

#include "bytes.h"

#include <string>
#include <vector>

namespace Tarnwick::Pictures {

// A piece of data under its name.
struct NamedData
{
    std::string name;
    Bytes bytes;
};

// An ARM ELF object, as as would write it, that holds each piece in .rodata, word-aligned,
// under a global symbol of its name (typed as data, with its size, so that debuggers show
// it), and beside it the absolute symbol NAMELen with its length in bytes; madeOf names
// the picture it was made of, as a source's file symbol names the source. It links like any
// assembled object; nothing of it needs relocating.
Bytes dataObject(const std::string &madeOf, const std::vector<NamedData> &pieces);

} // namespace Tarnwick::Pictures
