#pragma once

#include <cstdint>
#include <string>

// The part of a file that a request's "Range" header asks for.
struct ByteRange
{
    enum class Kind {
        Whole,         // no usable range: the whole file
        Part,          // one run of bytes
        Unsatisfiable, // every range lies past the end
    };

    Kind kind = Kind::Whole;
    uint64_t offset = 0;
    uint64_t length = 0;

    // Reads a header value for a file of size bytes. Several ranges that
    // overlap or touch become one; ranges that stay apart, a unit other than
    // bytes, and text that is no range give the whole file.
    static ByteRange parse(const std::string& header, uint64_t size);
};
