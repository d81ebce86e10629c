#pragma once
#include <QObject>

class Dataset;
class QLineEdit;
class QWidget;

// Shared pieces of the catalogue lists: the keys of a search box and the
// placement of a list or editor over the journal window.
namespace CatalogueList {

// How a search box treats the keys it does not use itself.
enum class OtherKeys {
    Keep,    // the box's own handling (caret, Home, End, Delete) stays
    Consume, // only typed characters and Backspace still edit the text
};

// Up and Down in `box` move the cursor of `ds` to the previous / next row.
// Enter, Esc and Tab always reach the dialog (default and cancel buttons).
void installSearchKeys(QLineEdit *box, Dataset *ds, OtherKeys others);

// Centres `w` over `owner` (or the screen when there is no owner on screen).
void centreOn(QWidget *w, const QWidget *owner);

} // namespace CatalogueList
