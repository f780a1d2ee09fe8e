// Writes the empty template database that ships beside the program.
#include "event_store.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmoor-mktemplate FILE\n");
        return 2;
    }
    try {
        CreateEventDatabase(QString::fromLocal8Bit(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
