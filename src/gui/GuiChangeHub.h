#pragma once

#include <QObject>

class Program;

// Tells every open window that shows the listings that the collection of a
// program has changed, so that several database editors all show it as it is.
class GuiChangeHub : public QObject
{
    Q_OBJECT
public:
    static GuiChangeHub& Instance();

    // Called by whoever added, removed, edited or imported listings.
    void NotifyRecordsChanged(Program* program, QObject* source = nullptr);
    // Called after a re-index has changed the accepted values.
    void NotifyKnowledgeChanged(Program* program);

Q_SIGNALS:
    // `source` is the window that made the change (it has refreshed itself already).
    void recordsChanged(Program* program, QObject* source);
    void knowledgeChanged(Program* program);

private:
    GuiChangeHub() = default;
};
