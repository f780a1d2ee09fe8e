// quillmoor-ics: the calendar's events out to and in from iCalendar files.
#include "ics_tool.h"

int main(int argc, char** argv)
{
    return ToolMain(argc, argv, kIcsProgram, RunIcs);
}
