// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/FileReport.h"

#include <exception>

#include "satellite/SatelliteInfo.h"

TSatelliteFileReport IdentifySatelliteFile(const std::string& FileName)
{
    TSatelliteFileReport r;
    r.File = FileName;
    try {
        ReadSatelliteFileInfo(FileName, r.SatelliteCode, &r.Report, r.AcquisitionTime, r.StandardName, r.ImageFormat);
    } catch (const std::exception& e) {
        r.Ok = false;
        r.Error = e.what();
    }
    return r;
}

std::vector<std::string> ReportTextLines(const TStringList& Report)
{
    std::vector<std::string> lines;
    for (const std::string& entry : Report) {
        size_t start = 0;
        while (start <= entry.size()) {
            const size_t end = entry.find("\r\n", start);
            if (end == std::string::npos) {
                if (start < entry.size() || entry.empty())
                    lines.push_back(entry.substr(start));
                break;
            }
            lines.push_back(entry.substr(start, end - start));
            start = end + 2;
        }
    }
    return lines;
}
