#include "gui/GuiChangeHub.h"

GuiChangeHub& GuiChangeHub::Instance()
{
    // Stateless apart from its connections, which end with the windows.
    static GuiChangeHub hub;
    return hub;
}

void GuiChangeHub::NotifyRecordsChanged(Program* program, QObject* source)
{
    Q_EMIT recordsChanged(program, source);
}

void GuiChangeHub::NotifyKnowledgeChanged(Program* program)
{
    Q_EMIT knowledgeChanged(program);
}
