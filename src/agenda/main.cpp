// quillmoor-agenda: one month's events as text, from the same rule the calendar draws with.
#include "agenda.h"

int main(int argc, char** argv)
{
    return ToolMain(argc, argv, kAgendaProgram, RunAgenda);
}
