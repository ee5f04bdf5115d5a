#pragma once
// The images of the window's buttons, drawn here so that every button has one and they all look
// alike: the same outline, the same few colours, legible at 16 and 24 pixels.
#include <QIcon>

class QPainter;

namespace tavik::icons {

QIcon Exit();
QIcon CheckAll();
QIcon InvertChecks();
QIcon Refresh();
QIcon ArchiveFiles();
QIcon DeleteFiles();
QIcon OpenArchive();
QIcon AbortOperation();
QIcon VerifySimple();
QIcon VerifyComplete();
QIcon ExtractSelected();
QIcon ExtractAll();
QIcon PackNew();
QIcon PackAdd();
QIcon Span();
QIcon Merge();

// The program's own image (window, desktop menu): a sheet going into an archive box.
QIcon Program();
// Draws it into the square of size × size pixels at the painter's origin, for any size.
void PaintProgram(QPainter& painter, int size);

}  // namespace tavik::icons
