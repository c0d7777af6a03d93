// The environment's Vyn sources, embedded in the executable at build time (tools/embed-scripts.cmake).
// The table is in path order and ends with a null entry.
#pragma once

namespace vyn {

struct EmbeddedScript {
    const char* path;
    const char* text;
};

extern const EmbeddedScript embedded_scripts[];
extern const int embedded_script_count;

}  // namespace vyn
