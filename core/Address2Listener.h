#pragma once
// Windows that show the coordinate field (the logger list windows' column title, the record editor's entry
// box) register here, so that a change of the coordinate system reaches all of them at once.
#include <vector>

class IAddress2Listener {
public:
    virtual ~IAddress2Listener() = default;
    // The record editor sets its coordinate entry box from the new Address2.
    virtual void ConfigureAddress2EditBox() {}
    // A logger list window retitles its comment-2 column.
    virtual void UpdateCommentsColumnHeader() {}
};

void RegisterAddress2Listener(IAddress2Listener* listener);
void UnregisterAddress2Listener(IAddress2Listener* listener);
std::vector<IAddress2Listener*> Address2Listeners();
