#pragma once
#include "printing/Report.h"

#include <QString>

// Reads a report back as a reader of its PDF would: the pages written as a
// PDF file and turned into text by `pdftotext -layout`.
namespace Pdf {

// Text of a PDF file ("" when pdftotext fails); pages end with a form feed.
QString text(const QString &pdfFile);
// Writes the document as a PDF into `pdfFile` (a temporary one when empty)
// and returns its text.
QString text(const Printing::Document &doc, const QString &pdfFile = QString());

} // namespace Pdf
