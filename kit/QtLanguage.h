// Qt's own texts (the file dialogs' "Look in", "File name", "Save", "Cancel",
// the overwrite question) in the program's language: Qt's translation
// catalogue qtbase_<code>.qm from Qt's translations folder.
#pragma once

#include <string>

namespace QtLanguage {
// Replaces the Qt catalogue in force by the one for `code` ("de", "pl_PL",
// "ru_RU.UTF-8"); without a catalogue for it Qt's texts are English.
// Returns whether a catalogue was loaded.
bool Apply(const std::string& code);
}  // namespace QtLanguage
