#pragma once
#include <QObject>
#include <QSize>
#include <functional>

class Dataset;
class DatasetModel;
class QDialog;
class QLineEdit;
class QPushButton;
class QTableView;

// Shared pieces of the catalogue lists: the keys of a search box and the
// layout the lists have in common.
namespace CatalogueList {

// How a search box treats the keys it does not use itself.
enum class OtherKeys {
    Keep,    // the box's own handling (caret, Home, End, Delete) stays
    Consume, // only typed characters and Backspace still edit the text
};

// Up and Down in `box` move the cursor of `ds` to the previous / next row.
// Enter, Esc and Tab always reach the dialog (default and cancel buttons).
void installSearchKeys(QLineEdit *box, Dataset *ds, OtherKeys others);

// How the grid of a list is sized.
enum class Sizing {
    Fixed,   // the grid exactly the given size, the list not resizable
    AtLeast, // the grid at least the given size, the list resizable
};

// The controls of a list, created by build().
struct Controls {
    QTableView *grid;  // DBGrid1
    QLineEdit *search; // Edit1
    QPushButton *add, *change, *remove, *exit; // Button1..Button4
};

// What the controls call: double click, search text changed, Добавить,
// Изменить, Удалить. Выход rejects the list.
struct Handlers {
    std::function<void()> open, searchChanged, add, change, remove;
};

// Creates the controls every catalogue list has and lays them out on
// `list`: the grid over `model`, the search box under it (Up and Down move
// through `ds`, see installSearchKeys), and a row of "Добавить", "Изменить",
// "Удалить", a gap and "Выход". None of the buttons is an auto-default one.
Controls build(QDialog *list, DatasetModel *model, Dataset *ds, OtherKeys keys, QSize gridSize, Sizing sizing,
               const Handlers &handlers);

// What the buttons of a list offer.
enum class Mode {
    Catalogue, // "Добавить" (the default button), "Изменить", "Удалить"
    Chooser,   // only "Выбрать" (the relabelled "Изменить"), the default button
};
void setMode(Mode mode, QPushButton *add, QPushButton *change, QPushButton *remove);

// Runs `list` modally over the shared query `ds`: opened for the run, then
// closed and left unfiltered for the query's other users.
int execOver(QDialog *list, Dataset &ds);

// The same for a list window with the usual members (gridModel, DBGrid1,
// Edit1, Button1..Button4) and handlers.
template <class List>
void build(List *list, Dataset *ds, OtherKeys keys, QSize gridSize, Sizing sizing)
{
    const Controls c = build(list, list->gridModel, ds, keys, gridSize, sizing,
                             {[list]() { list->DBGrid1DblClick(); }, [list]() { list->Edit1Change(); },
                              [list]() { list->Button1Click(); }, [list]() { list->Button2Click(); },
                              [list]() { list->Button3Click(); }});
    list->DBGrid1 = c.grid;
    list->Edit1 = c.search;
    list->Button1 = c.add;
    list->Button2 = c.change;
    list->Button3 = c.remove;
    list->Button4 = c.exit;
}

} // namespace CatalogueList
