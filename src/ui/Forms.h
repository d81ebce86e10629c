#pragma once

// The shared registry of the program's windows: each window is created once at
// start-up and reached by the windows that open it through this registry.
class QWidget;
class TDataModule6;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class TForm11;
class TForm15;
class TForm16;
class TForm17;
class TForm18;
class TForm19;
class TForm20;
class TForm21;
class TForm22;
class TForm23;
class TForm24;
class TForm25;
class TForm26;
class TForm27;
class MonthOverview;

struct Forms {
    TDataModule6 *DataModule6 = nullptr;
    TForm1 *Form1 = nullptr;   // journal (main window)
    QWidget *mainWindow = nullptr; // the journal, for the windows that centre on it
    TForm2 *Form2 = nullptr;   // worker editor
    TForm3 *Form3 = nullptr;   // products list
    TForm4 *Form4 = nullptr;   // operations list
    TForm5 *Form5 = nullptr;   // workers list
    TForm7 *Form7 = nullptr;   // product editor
    TForm8 *Form8 = nullptr;   // operation kinds list
    TForm9 *Form9 = nullptr;   // operation kind editor
    TForm10 *Form10 = nullptr; // operation editor
    TForm11 *Form11 = nullptr; // shift entry editor
    TForm15 *Form15 = nullptr;
    TForm16 *Form16 = nullptr;
    TForm17 *Form17 = nullptr;
    TForm18 *Form18 = nullptr; // summary reports
    TForm19 *Form19 = nullptr; // timesheet by shifts
    TForm20 *Form20 = nullptr;
    TForm21 *Form21 = nullptr;
    TForm22 *Form22 = nullptr; // norms
    TForm23 *Form23 = nullptr; // sign-in
    TForm24 *Form24 = nullptr; // housekeeping entry editor
    TForm25 *Form25 = nullptr; // housekeeping list
    TForm26 *Form26 = nullptr; // nomenclature picker
    TForm27 *Form27 = nullptr; // monthly timesheets
    MonthOverview *Overview = nullptr; // the month at a glance (charts)

    bool maintenance = false;  // started with --maintenance
};
