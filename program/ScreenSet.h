// The program's screens in one place: which there are, the order in which
// they are created (the order in which the link notifies them) and their
// destruction in reverse. While a set lives, the process-wide pointers of
// screens/Globals.h point at its screens.
#pragma once

#include <functional>
#include <vector>

class cIOForm;

class cScreenSet {
public:
    enum class eScope {
        Program,  // every screen and dialog: the program
        Work,     // the main menu, the four work screens and the dialogs they
                  // use; no options, load progress or help: test benches
    };

    explicit cScreenSet(eScope scope = eScope::Program);
    ~cScreenSet();
    cScreenSet(const cScreenSet&) = delete;
    cScreenSet& operator=(const cScreenSet&) = delete;

    // The screens that hear from the link, in creation order.
    const std::vector<cIOForm*>& Listeners() const;

private:
    template <class T>
    void Make(T*& global);
    std::vector<std::function<void()>> Destroy;
};
