// The journal's openers: every window it shows modally. Each window's own
// issue wires its opener here.
#include "TForm1.h"
#include "app/BuildStamp.h"

#include "catalogues/TForm3.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "catalogues/TForm8.h"
#include "db/StructureUpgrade.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "import/LegacyImport.h"
#include "journal/TForm11.h"
#include "journal/TForm25.h"
#include "reports/MonthOverview.h"
#include "reports/TForm18.h"
#include "ui/Dialogs.h"
#include "timesheets/TForm19.h"
#include "timesheets/TForm27.h"
#include "ui/Forms.h"
#include "ui/LongAction.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
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
    MonthOverviewItem->setEnabled(f.Overview != nullptr);
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
    // the new entry becomes the current row
    if (f.Form11 && f.Form11->addEntry() == QDialog::Accepted)
        showEntry(f.Form11->lastSavedId());
}

// "Изменить": nothing on an empty list; the cursor returns when the editor closes
void TForm1::Button2Click()
{
    // the changed entry stays the current row, wherever it sorts now
    if (f.Form11 && f.Form11->editEntry() == QDialog::Accepted)
        showEntry(f.Form11->lastSavedId());
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
void TForm1::N9Click() { f.Form27->openMode(9); }

// Табель → Табель по сменам: the month of the journal's date
void TForm1::N13Click() { f.Form19->openFor(date()); }

// Табель → Табель хоз. работ
void TForm1::N14Click() { f.Form27->openMode(14); }

// Табель → Табель ср. сдельная
void TForm1::N15Click() { f.Form27->openMode(15); }

// Табель → Общий табель
void TForm1::N17Click() { f.Form27->openMode(17); }

// Отчеты → Сводные отчеты
void TForm1::N10Click()
{
    f.Form18->presetPeriod(QDate::currentDate());
    f.Form18->exec();
}

// Отчеты → Обзор месяца: the current month
void TForm1::MonthOverviewClick() { f.Overview->openOverview(); }

// Импорт (legacy import, maintenance only). No question before, no message
// box after; the line below the buttons tells the step and rows copied, and
// a refusal is shown with the database's text.
void TForm1::N12Click()
{
    if (LongAction::running())
        return;
    showImportProgress();
    LongAction run(nullptr, ImportProgress);
    run.disable(N12);
    run.disable(N16);
    ImportStatus->setText(QStringLiteral("Импорт: соединение с источниками данных…"));
    run.step();
    int rows = 0;
    QElapsedTimer shown; // the figures are redrawn a few times a second, not after every row
    try {
        LegacyImport::run([&](const LegacyImport::Progress &p) {
            if (p.copied == 0) {
                run.setRange(qMax(p.total, 1));
                ImportProgress->setFormat(QStringLiteral("%v из ") + QString::number(p.total));
            } else {
                ++rows;
            }
            if (p.copied == 0 || p.copied == p.total || !shown.isValid() || shown.elapsed() >= 100) {
                run.setValue(p.total == 0 ? 1 : p.copied);
                ImportStatus->setText(QStringLiteral("Импорт: шаг %1 из %2, %3 → %4: %5 из %6 строк")
                                          .arg(p.step).arg(p.steps).arg(p.legacyTable, p.destination)
                                          .arg(p.copied).arg(p.total));
                shown.start();
            }
            run.step();
        });
    } catch (const DbError &e) {
        ImportStatus->setText(QStringLiteral("Импорт остановлен (перенесено строк: %1)").arg(rows));
        Dialogs::error(e.text());
        return;
    }
    ImportStatus->setText(QStringLiteral("Импорт завершён: перенесено строк: %1").arg(rows));
}

void TForm1::showImportProgress()
{
    if (ImportStatus)
        return;
    ImportStatus = new QLabel(this);
    ImportStatus->setObjectName(QStringLiteral("ImportStatus"));
    ImportProgress = new QProgressBar(this);
    ImportProgress->setObjectName(QStringLiteral("ImportProgress"));
    ImportProgress->setMaximumWidth(260);
    auto *line = new QHBoxLayout;
    line->addWidget(ImportStatus, 1);
    line->addWidget(ImportProgress);
    static_cast<QBoxLayout *>(layout())->addLayout(line);
}

// Структура БД (maintenance only); not while an import runs
void TForm1::N16Click()
{
    if (LongAction::running())
        return;
    QString failure;
    {
        LongAction run(nullptr);
        run.disable(N12);
        run.disable(N16);
        try {
            runStructureUpgrade(*f.DataModule6, BuildStamp::date(), BuildStamp::time());
        } catch (const DbError &e) {
            failure = e.text();
        }
    }
    if (!failure.isEmpty())
        Dialogs::error(failure);
}
