// quillmoor-genevents: writes an event database of COUNT generated events, for benchmarks.
#include "event_generator.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    char* end = nullptr;
    const long count = argc == 3 ? std::strtol(argv[2], &end, 10) : -1;
    if (argc != 3 || *end != '\0' || count < 0 || count > 10'000'000) {
        std::fprintf(stderr, "usage: quillmoor-genevents FILE COUNT\n"
                             "Writes a new event database FILE (it must not exist) with COUNT events of every kind.\n");
        return 2;
    }
    try {
        GenerateEvents(QString::fromLocal8Bit(argv[1]), int(count));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmoor-genevents: %s\n", e.what());
        return 1;
    }
    return 0;
}
