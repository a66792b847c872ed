// What poppler's tools read from a PDF file.
#pragma once

#include <string>

// What a poppler tool printed (standard output and error) for command.
std::string Poppler(const std::string& command);

// path in single quotes, for a command line.
std::string Quoted(const std::string& path);

// The PDF's text in drawing order, of one page or (page 0) all.
std::string PdfText(const std::string& pdf, int page = 0);

// The number of pages pdfinfo reports; 0 when it reports none.
int PdfPages(const std::string& pdf);
