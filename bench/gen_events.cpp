// quillmoor-genevents: writes an event database of COUNT generated events, for benchmarks.
#include "event_generator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    const bool distinct = argc == 4 && std::strcmp(argv[3], "--distinct-titles") == 0;
    const bool detailed = (argc == 5 || argc == 6) && std::strcmp(argv[3], "--detailed") == 0;
    const bool utc = argc == 6 && std::strcmp(argv[5], "--utc") == 0;
    char* end = nullptr;
    const long count = argc == 3 || distinct || detailed ? std::strtol(argv[2], &end, 10) : -1;
    const long extra = detailed ? std::strtol(argv[4], nullptr, 10) : 0;
    if (count < 0 || *end != '\0' || count > 10'000'000 || extra < 0 || extra > 1'000'000 || (argc == 6 && !utc)) {
        std::fprintf(stderr, "usage: quillmoor-genevents FILE COUNT [--distinct-titles | --detailed N [--utc]]\n"
                             "Writes a new event database FILE (it must not exist) with COUNT events of every kind;\n"
                             "with --distinct-titles no two titles are the same; with --detailed, N more events\n"
                             "as other calendars make them (times of day in time zones, several days, repeats\n"
                             "with ends); with --utc, the same N events with their times of day in UTC.\n");
        return 2;
    }
    try {
        GenerateEvents(QString::fromLocal8Bit(argv[1]), int(count), 1, distinct);
        if (extra)
            AddDetailedEvents(QString::fromLocal8Bit(argv[1]), int(extra), 2, {}, utc);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmoor-genevents: %s\n", e.what());
        return 1;
    }
    return 0;
}
