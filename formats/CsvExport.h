// A capture as comma-separated values that spreadsheets open directly: a
// header line "record,tps_v,lambda_v,rpm,valve", then one line per record
// numbered from 1, numbers with a point and no needless zeros, CR LF line
// ends.
#pragma once

#include <string>

#include "formats/CaptureData.h"

namespace Capture {

const char* CsvHeader();  // with its line end
// A value as written: six decimals at most, trailing zeros and a bare point
// dropped ("2.352941", "0.45", "2000", "-3").
std::string CsvNumber(float value);
// One line for record number `number` (1 for the first record).
void AppendCsvLine(std::string& out, uint64_t number, const float values[TraceCount]);

// Writes the whole capture to `path` ("-": standard output). A file is
// written through a temporary file in the same folder renamed over the
// target, so a failure leaves no half-written file and an old file as it
// was. False on failure, with the system's text in `error`.
bool WriteCsv(const std::string& path, const sCaptureData& data, std::string* error = nullptr);
// The records [first, last) only, keeping their numbers in the capture.
bool WriteCsvRange(const std::string& path, const sCaptureData& data, size_t first, size_t last,
                   std::string* error = nullptr);

// Converts a capture file to CSV while reading it, without holding its
// records: memory stays at a few megabytes whatever the file's size. On
// return `read` tells how reading went, `records` how many records were
// written and `counts` holds the counts of lines (its columns are empty).
// False when the capture
// cannot be read (`read` tells why, nothing is written) or the CSV cannot
// be written (`error` tells why).
bool ConvertCaptureToCsv(const std::string& capturePath, const std::string& path, sCaptureData& counts,
                         uint64_t& records, sReadResult& read, std::string* error = nullptr);

}  // namespace Capture
