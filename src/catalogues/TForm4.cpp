#include "TForm4.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"
#include "CatalogueWrite.h"

#include "CatalogueList.h"
#include "TForm10.h"
#include "TForm22.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "spreadsheet/Excel.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Lookup.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {
// Decimal text as typed input reads it: "12.5000" -> "12.5", empty -> "0"
QString numberText(const QVariant &v)
{
    return QString::number(v.toString().toDouble(), 'g', 15);
}
} // namespace

TForm4::TForm4(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Операции"));

    Dataset *oper = &f.DataModule6->Oper;
    XLS_Rep = new Dataset(f.DataModule6->connectionName(), this);
    XLS_Rep->setObjectName(QStringLiteral("XLS_Rep"));
    XLS_Rep->sql = QStringList{
        QStringLiteral("select izdel.MARKA, vid_oper.VID, oper.NAIMEN,(SELECT (CASE naimen WHEN 0 THEN 'Готовая продукция' ELSE 'Заготовки' END)) as nmn, oper.CENA_new as cena, oper.id, oper.i_id,"),
        QStringLiteral(" oper.VID as oper_vid from accounts_dep.OPER,accounts_dep.IZDEL,accounts_dep.VID_OPER where OPER.i_id=IZDEL.id "),
        QStringLiteral("and oper.vid=vid_oper.id order by izdel.marka, vid_oper.vid, oper.naimen"),
    };

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    const auto L = Qt::AlignLeft | Qt::AlignVCenter;
    const auto R = Qt::AlignRight | Qt::AlignVCenter;
    QVector<ColumnDef> columns{
        {"MARKA", "Марка", L, true, 240},
        {"VID", "Опреция", L, true, 160},
        {"cena", "Цена (min)", R, true, 80},
        {"nmn", "Вид", L, true, 130},
        {"norma", "Нормы (шт.)", R, true, 80},
        {"id", "id", L, false},
        {"i_id", "i_id", L, false},
        {"oper_vid", "oper_vid", L, false},
    };
    // no column narrower than its (bold) title
    QFont titleFont = DBGrid1->horizontalHeader()->font();
    titleFont.setBold(true);
    const QFontMetrics titles(titleFont);
    for (ColumnDef &c : columns)
        c.width = qMax(c.width, titles.horizontalAdvance(c.title) + 16);
    gridModel = new DatasetModel(oper, columns, this);
    bindGrid(DBGrid1, gridModel);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    // every column beside the vertical scroll bar, so no horizontal one is needed
    int width = 2 * DBGrid1->frameWidth() + DBGrid1->verticalScrollBar()->sizeHint().width();
    for (const ColumnDef &c : gridModel->columns())
        width += c.width;
    width += 2; // the header's own frame
    DBGrid1->setFixedSize(qMax(700, width), 420);
    connect(DBGrid1, &QTableView::doubleClicked, this, [this]() { DBGrid1DblClick(); });

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    connect(Edit1, &QLineEdit::textChanged, this, [this]() { Edit1Change(); });
    CatalogueList::installSearchKeys(Edit1, oper, CatalogueList::OtherKeys::Consume);

    CheckBox1 = Widgets::named<QCheckBox>(this, "CheckBox1", QStringLiteral("Цены"));
    CheckBox1->setChecked(false);

    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Добавить"));
    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Изменить"));
    Button3 = Widgets::pushButton(this, "Button3", QStringLiteral("Удалить"));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Excel"));
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Выход"));
    connect(Button1, &QPushButton::clicked, this, [this]() { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this]() { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this]() { Button3Click(); });
    connect(Button5, &QPushButton::clicked, this, [this]() { Button5Click(); });
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
    Button1->setDefault(true);

    auto *search = new QHBoxLayout;
    search->addWidget(Edit1, 1);
    search->addWidget(CheckBox1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addSpacing(16);
    buttons->addWidget(Button5);
    buttons->addStretch(1);
    buttons->addWidget(Button4);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(DBGrid1);
    lay->addLayout(search);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    LiveRefresh::forList(this, f.DataModule6->Changes,
                         {ChangeNotice::Table::Operations, ChangeNotice::Table::Products, ChangeNotice::Table::Kinds}, DBGrid1,
                         QStringLiteral("id"));
}

QString TForm4::productKindText(int naimen)
{
    return naimen == 0 ? QStringLiteral("Готовая продукция") : QStringLiteral("Заготовки");
}

void TForm4::search(const QString &text)
{
    Dataset &oper = f.DataModule6->Oper;
    if (text.trimmed().isEmpty())
        oper.setFilter({});
    else
        oper.setFilter(Dataset::textFilter(QStringLiteral("marka"), text, false));
}

void TForm4::Edit1Change() { search(Edit1->text()); }

void TForm4::openList()
{
    Tag = 0;
    Dataset &oper = f.DataModule6->Oper;
    oper.close();
    oper.sql = TDataModule6::operStatement();
    oper.open();
    exec();
    oper.close();
}

bool TForm4::pick(int tag, int operId, int shift, bool dayOff)
{
    Tag = tag;
    m_choice.reset();
    Dataset &oper = f.DataModule6->Oper;
    // Each operation with the price the database will store for this day
    // and shift, read in the same statement.
    QStringList text = TDataModule6::operStatement();
    text[1] += QStringLiteral(" accounts_dep.entry_price(oper.id, cast(:shift as int), cast(:day_off as boolean)) as cena_itog,");
    oper.sql = text;
    oper.setParam(QStringLiteral("shift"), shift);
    oper.setParam(QStringLiteral("day_off"), dayOff);
    {
        // the box is emptied for the choice; its filter must not hide the row sought
        const QSignalBlocker block(Edit1);
        Edit1->clear();
    }
    oper.setFilter({});
    oper.close();
    oper.open();
    if (operId < 0 || !oper.locate(QStringLiteral("id"), operId))
        oper.first();
    return exec() == QDialog::Accepted;
}

void TForm4::applyMode()
{
    if (Tag == 0) {
        CatalogueList::setMode(CatalogueList::Mode::Catalogue, Button1, Button2, Button3);
        return;
    }
    CatalogueList::setMode(CatalogueList::Mode::Chooser, Button1, Button2, Button3);
    Edit1->show();
    filterOffKeepingRow();
    const QSignalBlocker block(Edit1);
    Edit1->clear();
}

void TForm4::filterOffKeepingRow()
{
    Dataset &oper = f.DataModule6->Oper;
    if (!oper.filtered())
        return;
    const QVariant id = oper.value(QStringLiteral("id"));
    oper.setFilter({});
    if (id.isValid())
        oper.locate(QStringLiteral("id"), id);
}

void TForm4::done(int r)
{
    if (Tag != 0) {
        Button2->setDefault(false);
        Edit1->hide();
        filterOffKeepingRow();
    }
    QDialog::done(r);
}

void TForm4::Button2Click()
{
    if (Tag == 0)
        changeOperation();
    else
        choose();
}

void TForm4::DBGrid1DblClick()
{
    if (Tag == 0 && CheckBox1->isChecked())
        showNorms();
    else
        Button2Click();
}

void TForm4::choose()
{
    if (f.DataModule6->Oper.isEmpty()) {
        reject(); // nothing to hand over: closes as the other lists do
        return;
    }
    m_choice = OperationChoice::fromOper(f.DataModule6->Oper);
    accept();
}

void TForm4::addOperation()
{
    TForm10 *ed = f.Form10;
    ed->Edit1->clear();
    ed->Edit2->clear();
    ed->ComboBox1->setCurrentIndex(0);
    ed->setWindowTitle(QStringLiteral("Заведение новой цены за операцию"));
    ed->Tag = 1;
    ed->addedId = 0;
    ed->exec();
    // A new operation is listed once it has a norm: its first one is entered now.
    if (ed->addedId > 0) {
        showNorms(ed->addedId);
        f.DataModule6->Oper.locate(QStringLiteral("id"), ed->addedId);
    }
}

void TForm4::changeOperation()
{
    const Dataset &oper = f.DataModule6->Oper;
    if (oper.isEmpty())
        return; // no operation to change
    TForm10 *ed = f.Form10;
    ed->setWindowTitle(QStringLiteral("Изменение данных о цене за операцию"));
    ed->Tag = 2;
    ed->Edit1->setText(oper.asString(QStringLiteral("marka")).trimmed());
    ed->Edit2->setText(oper.asString(QStringLiteral("vid")).trimmed());
    ed->ComboBox1->setCurrentIndex(oper.asInt(QStringLiteral("naimen")) == 0 ? 0 : 1);
    ed->productId = idValue(oper.value(QStringLiteral("i_id")));
    ed->kindId = oper.asInt(QStringLiteral("oper_vid"));
    ed->exec();
}

void TForm4::deleteOperation()
{
    Dataset &oper = f.DataModule6->Oper;
    if (oper.isEmpty())
        return;
    if (!Dialogs::question(QStringLiteral("Удалить операцию?")))
        return;
    CatalogueWrite::call(f.DataModule6->connectionName(), QStringLiteral("select accounts_dep.operation_delete(?::integer)"),
                         {oper.asInt(QStringLiteral("id"))});
    oper.refresh();
}

void TForm4::showNorms(int operId)
{
    if (operId < 0) {
        const Dataset &oper = f.DataModule6->Oper;
        if (oper.isEmpty())
            return;
        operId = oper.asInt(QStringLiteral("id"));
    }
    f.Form22->openFor(operId);
}

void TForm4::exportToExcel()
{
    WaitCursor wait;
    XLS_Rep->close();
    XLS_Rep->open();
    if (ExcelStart(QString(), windowTitle()) == -1) {
        XLS_Rep->close();
        return;
    }
    const char *headers[] = {"Марка", "Операция", "Цена", "Вид"};
    for (int c = 0; c < 4; ++c)
        ExcelWriteValue(1, c + 1, 1, QString::fromUtf8(headers[c]));
    for (int r = 0; r < XLS_Rep->recordCount(); ++r) {
        const int row = r + 2;
        // names without the blanks that pad the fixed-width kind name
        ExcelWriteValue(1, 1, row, XLS_Rep->valueAt(r, QStringLiteral("MARKA")).toString().trimmed());
        ExcelWriteValue(1, 2, row, XLS_Rep->valueAt(r, QStringLiteral("VID")).toString().trimmed());
        ExcelWriteValue(1, 3, row, numberText(XLS_Rep->valueAt(r, QStringLiteral("cena"))));
        ExcelWriteValue(1, 4, row, productKindText(XLS_Rep->valueAt(r, QStringLiteral("NAIMEN")).toInt()));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ExcelShow(true);
    XLS_Rep->close();
}

void TForm4::showEvent(QShowEvent *e)
{
    applyMode();
    QDialog::showEvent(e);
    Widgets::centreOn(this, f.mainWindow);
    if (Edit1->isVisible())
        Edit1->setFocus();
}

void TForm4::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Edit1->isVisible())
        Edit1->setFocus();
}
