// The journal's openers: every window it shows modally. Each window's own
// issue wires its opener here.
#include "TForm1.h"

#include "catalogues/TForm3.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "catalogues/TForm8.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "journal/TForm11.h"
#include "journal/TForm25.h"
#include "reports/TForm18.h"
#include "ui/Forms.h"

#include <QAction>
#include <QPushButton>

void TForm1::updateMenuAvailability()
{
    // An item stays in the menu and works once its window exists.
    N1->setEnabled(f.Form5 != nullptr);
    N3->setEnabled(f.Form3 != nullptr);
    N4->setEnabled(f.Form4 != nullptr);
    N6->setEnabled(f.Form8 != nullptr);
    N9->setEnabled(f.Form27 != nullptr);
    N13->setEnabled(f.Form19 != nullptr);
    N14->setEnabled(f.Form27 != nullptr);
    N15->setEnabled(f.Form27 != nullptr);
    N17->setEnabled(f.Form27 != nullptr);
    N10->setEnabled(f.Form18 != nullptr);
    N12->setEnabled(false);
    if (!f.Form11) {
        Button1->setEnabled(false);
        Button2->setEnabled(false);
    }
    if (!f.Form25)
        Button5->setEnabled(false);
}

// "Добавить"
void TForm1::Button1Click()
{
    if (f.Form11)
        f.Form11->addEntry();
}

// "Изменить": nothing on an empty list; the cursor returns when the editor closes
void TForm1::Button2Click()
{
    if (f.Form11)
        f.Form11->editEntry();
}

// "Ср.сд./хоз. работы": the list of the journal's day
void TForm1::Button5Click()
{
    if (f.Form25)
        f.Form25->openFor(date());
}

// Справочники → Рабочие
void TForm1::N1Click() { f.Form5->openList(); }

// Справочники → Изделия
void TForm1::N3Click() { f.Form3->openList(); }

// Справочники → Цены
void TForm1::N4Click() { f.Form4->openList(); }

// Справочники → Операции
void TForm1::N6Click() { f.Form8->openList(); }

// Табель → Табель сделка
void TForm1::N9Click() {}

// Табель → Табель по сменам
void TForm1::N13Click() {}

// Табель → Табель хоз. работ
void TForm1::N14Click() {}

// Табель → Табель ср. сдельная
void TForm1::N15Click() {}

// Табель → Общий табель
void TForm1::N17Click() {}

// Отчеты → Сводные отчеты
void TForm1::N10Click()
{
    f.Form18->presetPeriod(QDate::currentDate());
    f.Form18->exec();
}

// Импорт (legacy import, maintenance only)
void TForm1::N12Click() {}

// Структура БД (maintenance only)
void TForm1::N16Click() { runStructureUpgrade(*f.DataModule6); }
