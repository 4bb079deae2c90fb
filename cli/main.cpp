// zvbasic-cli: the ECU from the command line. The commands live in the zvcli
// library; this is their standard output and standard error, the signals
// (Console) and the arguments (CommandLine), each one file per system.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "core/CommandLine.h"

#ifdef ZV_REPORT_PDF
#include "report/ReportPdf.h"
#endif

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/Console.h"

namespace {

int WriteOut(const std::string& text) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written) return 0;
    return errno ? errno : EIO;
}

void WriteErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    Console::Install();
    sCliOutput output;
    output.Out = WriteOut;
    output.Err = WriteErr;
    output.ErrTerminal = Console::ErrorIsTerminal();
#ifdef ZV_REPORT_PDF
    output.Pdf = [](const Report::sContent& content, const Capture::sCaptureData* drive, std::string& pdf,
                    std::string& error) {
        ReportPdf::EnsureApplication();
        return ReportPdf::Render(content, drive, ReportPdf::SystemPaper(), pdf, error);
    };
#endif
    std::vector<std::string> args = CommandLine::Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());  // the program's name
    const int rc = RunCliCommand(args, output);
#ifdef ZV_REPORT_PDF
    ReportPdf::EndApplication();
#endif
    return rc;
}
