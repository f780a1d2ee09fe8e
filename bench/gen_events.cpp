// quillmoor-genevents: writes an event database of COUNT generated events, for benchmarks.
#include "event_generator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: quillmoor-genevents FILE COUNT [--distinct-titles] [--detailed N [--utc] [--alarms]\n"
                         "                           [--kept-on YYYY-MM-DD]]\n"
                         "Writes a new event database FILE (it must not exist) with COUNT events of every kind;\n"
                         "with --distinct-titles no two titles are the same; with --detailed, N more events\n"
                         "as other calendars make them (times of day in time zones, several days, repeats\n"
                         "with ends); with --utc, the same N events with their times of day in UTC; with\n"
                         "--alarms, each timed one with an alarm; with --kept-on, their starts kept ready around\n"
                         "that day (default: today), as the program leaves the file when it last ran that day.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    char* end = nullptr;
    const long count = std::strtol(argv[2], &end, 10);
    if (count < 0 || *end != '\0' || count > 10'000'000)
        return usage();
    bool distinct = false, utc = false, alarms = false;
    long extra = 0;
    QDate keptOn;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--distinct-titles") == 0) {
            distinct = true;
        } else if (std::strcmp(argv[i], "--utc") == 0) {
            utc = true;
        } else if (std::strcmp(argv[i], "--alarms") == 0) {
            alarms = true;
        } else if (std::strcmp(argv[i], "--detailed") == 0 && i + 1 < argc) {
            extra = std::strtol(argv[++i], &end, 10);
            if (extra < 1 || *end != '\0' || extra > 1'000'000)
                return usage();
        } else if (std::strcmp(argv[i], "--kept-on") == 0 && i + 1 < argc) {
            keptOn = QDate::fromString(QString::fromLatin1(argv[++i]), Qt::ISODate);
            if (!keptOn.isValid())
                return usage();
        } else {
            return usage();
        }
    }
    try {
        GenerateEvents(QString::fromLocal8Bit(argv[1]), int(count), 1, distinct);
        if (extra)
            AddDetailedEvents(QString::fromLocal8Bit(argv[1]), int(extra), 2, keptOn, utc, alarms);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmoor-genevents: %s\n", e.what());
        return 1;
    }
    return 0;
}
