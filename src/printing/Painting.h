#pragma once
#include "Report.h"

class QPagedPaintDevice;

namespace Printing {

// Paints the laid-out pages on a printer or PDF writer, one device page each.
// The device is switched to A4 in the document's orientation without margins
// (the layout carries its own).
void paint(const Document &doc, QPagedPaintDevice *device);
// Writes the pages as a PDF file; false when the file cannot be written.
bool writePdf(const Document &doc, const QString &path);

} // namespace Printing
