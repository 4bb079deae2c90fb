// The fitting report's pages as PDF, painted with Qt's own PDF writer: one
// page for the settings, a second for the test drive when there is one.
// The text is real text in an embedded font (a PDF-to-text tool gets every
// label and value back), on A4 or US Letter.
#pragma once

#include <string>

#include "formats/CaptureData.h"

#include "report/Report.h"

namespace ReportPdf {

enum class ePaper { A4, Letter };

// The paper of a locale name ("en_US", "fr_CA.UTF-8"): Letter in the United
// States and Canada, A4 everywhere else.
ePaper PaperFor(const std::string& localeName);
// The paper of the system's locale (LC_PAPER, LC_ALL, LANG as the system
// sets them; QLocale::system on Windows).
ePaper SystemPaper();

// Paints the report into `pdf`. `drive` (the capture's records) draws the
// second page when the content has a drive. Needs a QGuiApplication (see
// EnsureApplication). False with `error` when the writer failed.
bool Render(const Report::sContent& content, const Capture::sCaptureData* drive, ePaper paper, std::string& pdf,
            std::string& error);

// Writes the report to `path` through the safe writer: a failure leaves no
// half file, and an existing file is replaced only whole.
bool Save(const std::string& path, const std::string& pdf, std::string& error);

// Makes a QGuiApplication for a program that has none (the command line):
// on Linux with the offscreen platform unless the user chose one, so that
// it needs no display. Does nothing when there is an application already.
void EnsureApplication();
// Ends the application EnsureApplication made, if any (before the program
// returns from main, while Qt's own objects still live).
void EndApplication();

}  // namespace ReportPdf
