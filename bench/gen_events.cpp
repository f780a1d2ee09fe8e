// quillmoor-genevents: writes an event database of COUNT generated events, for benchmarks.
#include "event_generator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    const bool distinct = argc == 4 && std::strcmp(argv[3], "--distinct-titles") == 0;
    char* end = nullptr;
    const long count = argc == 3 || distinct ? std::strtol(argv[2], &end, 10) : -1;
    if (count < 0 || *end != '\0' || count > 10'000'000) {
        std::fprintf(stderr, "usage: quillmoor-genevents FILE COUNT [--distinct-titles]\n"
                             "Writes a new event database FILE (it must not exist) with COUNT events of every kind;\n"
                             "with --distinct-titles no two titles are the same.\n");
        return 2;
    }
    try {
        GenerateEvents(QString::fromLocal8Bit(argv[1]), int(count), 1, distinct);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmoor-genevents: %s\n", e.what());
        return 1;
    }
    return 0;
}
