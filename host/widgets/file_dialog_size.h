#pragma once
// Qt's own file dialog sizes its columns for English texts ("128.88 GB", "mp3Folder"); the German
// sizes and types ("1.704 KB", "Zip-Archiv") were cut. The dialog gets room enough, the size,
// type and date columns as wide as what they show, and the name column the rest.
class QFileDialog;

namespace tavik {

// Sets the dialog's size and the way its detail view's columns take their widths.
void GiveColumnsRoom(QFileDialog& dialog);

}  // namespace tavik
