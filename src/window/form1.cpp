#include "window/form1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>

#include "register/provinces.h"
#include "window/combo_type_ahead.h"
#include "window/customer_name_model.h"
#include "window/field_marks.h"
#include "window/undo_actions.h"

namespace {

// Places and sizes are designed in twips; at 96 dots per inch 15 twips make one pixel.
constexpr int px(int twips) {
    return (twips + 7) / 15;
}

QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

struct LabelPlace {
    int number;
    const char* caption;
    int left, top, width, height;
};

// Caption labels, in the order the window creates them (all before the fields, so that the
// fields are drawn over the labels' lower part).
constexpr LabelPlace kLabels[] = {
    {1, "Seleziona Cliente", 480, 480, 4935, 375},
    {11, "ID", 7320, 480, 1455, 375},
    {2, "Ragione Sociale", 480, 1200, 4095, 375},
    {12, "Data", 7320, 1200, 1455, 375},
    {3, "Indirizzo", 480, 1800, 4095, 375},
    {4, "C.A.P.", 480, 2520, 1455, 375},
    {5, "Località", 1920, 2520, 1455, 375},
    {6, "(PR)", 5400, 2520, 735, 375},
    {7, "Telefono", 480, 3240, 1455, 375},
    {8, "Cellullare", 3240, 3240, 1455, 375},
    {9, "Codice Fiscale", 480, 3960, 1455, 375},
    {10, "Partita IVA", 3240, 3960, 1455, 375},
    {13, "", 480, 6360, 2655, 315},
    {14, "", 4440, 6360, 4455, 495},
};

struct FieldPlace {
    int number;
    int left, top, width, height;
};

constexpr FieldPlace kFields[] = {
    {1, 480, 1440, 5535, 285},  {2, 7320, 720, 1575, 285},   {3, 7320, 1440, 1575, 285},
    {4, 480, 2160, 5535, 285},  {5, 480, 2880, 1215, 285},   {6, 1920, 2880, 3255, 285},
    {7, 5280, 2880, 735, 285},  {8, 480, 3600, 2535, 285},   {9, 3240, 3600, 2775, 285},
    {10, 480, 4320, 2535, 285}, {11, 3240, 4320, 2775, 285}, {12, 480, 4800, 8415, 525},
    {13, 480, 5520, 8415, 645},
};

constexpr int kTaxCodeLength = 16;
constexpr int kVatNumberLength = 11;

// Upper case one character at a time, so that the text keeps its length: a character whose
// capital would need a different number of UTF-16 units (none in practice) stays as it is,
// and characters whose upper case is several letters ("ß") keep their single form.
QString upperCaseKeepingLength(const QString& text) {
    QString result = text;
    const qsizetype size = result.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar unit = result.at(i);
        if (unit.isHighSurrogate() && i + 1 < size && result.at(i + 1).isLowSurrogate()) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(unit, result.at(i + 1)));
            if (QChar::requiresSurrogates(upper)) {
                result[i] = QChar(QChar::highSurrogate(upper));
                result[i + 1] = QChar(QChar::lowSurrogate(upper));
            }
            ++i;
            continue;
        }
        const char32_t upper = QChar::toUpper(static_cast<char32_t>(unit.unicode()));
        if (!QChar::requiresSurrogates(upper)) {
            result[i] = QChar(static_cast<char16_t>(upper));
        }
    }
    return result;
}

}  // namespace

Form1::Form1(MessageBoxes& boxes, std::filesystem::path archivePath, QWidget* parent)
    : QMainWindow(parent), boxes_(boxes), archivePath_(std::move(archivePath)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Clivara 2008"));
    buildControls();
    buildMenus();
    new FieldMarks(*this);  // hints on the checked fields; owned by the window
    // The window takes its size from the menu bar and the fixed client area, and keeps it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(px(9435), px(7815));
    setCentralWidget(client);

    for (const LabelPlace& place : kLabels) {
        auto* label = new QLabel(QString::fromUtf8(place.caption), client);
        label->setObjectName(QStringLiteral("Label%1").arg(place.number));
        label->setGeometry(twipRect(place.left, place.top, place.width, place.height));
        // The caption sits at the top of the label; the field below covers the rest.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        label->setFocusPolicy(Qt::NoFocus);
        Label[place.number] = label;
    }
    QFont smallFont(QStringLiteral("Verdana"));
    smallFont.setPointSizeF(6.75);
    smallFont.setWeight(QFont::Normal);
    smallFont.setItalic(false);
    smallFont.setUnderline(false);
    smallFont.setStrikeOut(false);
    Label[13]->setFont(smallFont);
    Label[14]->setWordWrap(true);
    Label[14]->setText(
        QStringLiteral("Le modifiche vengono salvate nell'archivio all'uscita con «Esci»."));

    Combo1 = new QComboBox(client);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(twipRect(480, 840, 5535, 315));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr);
    Combo1->setDuplicatesEnabled(true);
    comboEntries_ = new CustomerNameModel(Combo1);
    Combo1->setModel(comboEntries_);
    // Never measure every entry: the list may hold tens of thousands of names.
    Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (auto* list = qobject_cast<QListView*>(Combo1->view())) {
        list->setUniformItemSizes(true);
    }
    chooseEqualEntryOnTyping(Combo1);
    // Typing (and every other edit by the user) is a change of the text line; choosing an
    // entry is a click. Changes made by the program run their handler from setComboText.
    connect(Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { runComboChange(); });
    connect(Combo1, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { Combo1_Click(index); });

    QPalette lightYellow;
    lightYellow.setColor(QPalette::Base, QColor(255, 255, 192));

    for (const FieldPlace& place : kFields) {
        const QString name = QStringLiteral("Text%1").arg(place.number);
        QWidget* field = nullptr;
        if (place.number >= 12) {
            auto* notes = new QPlainTextEdit(client);
            notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            notes->setTabChangesFocus(true);
            field = notes;
        } else {
            field = new QLineEdit(client);
        }
        field->setObjectName(name);
        field->setGeometry(twipRect(place.left, place.top, place.width, place.height));
        fields_[place.number] = field;
    }
    Text1 = static_cast<QLineEdit*>(fields_[1]);
    Text2 = static_cast<QLineEdit*>(fields_[2]);
    Text3 = static_cast<QLineEdit*>(fields_[3]);
    Text4 = static_cast<QLineEdit*>(fields_[4]);
    Text5 = static_cast<QLineEdit*>(fields_[5]);
    Text6 = static_cast<QLineEdit*>(fields_[6]);
    Text7 = static_cast<QLineEdit*>(fields_[7]);
    Text8 = static_cast<QLineEdit*>(fields_[8]);
    Text9 = static_cast<QLineEdit*>(fields_[9]);
    Text10 = static_cast<QLineEdit*>(fields_[10]);
    Text11 = static_cast<QLineEdit*>(fields_[11]);
    Text12 = static_cast<QPlainTextEdit*>(fields_[12]);
    Text13 = static_cast<QPlainTextEdit*>(fields_[13]);

    Text2->setReadOnly(true);
    for (QLineEdit* yellow : {Text2, Text3}) {
        yellow->setPalette(lightYellow);
        yellow->setAlignment(Qt::AlignCenter);
    }
    Text7->setAlignment(Qt::AlignCenter);
    // A line edit stops taking text at 32,767 characters by default; the fields other than
    // the tax code and the VAT number have no limit, so that a text too long for a cell
    // reaches the operations whole and is refused there rather than silently cut.
    for (int n = 1; n <= 9; ++n) {
        static_cast<QLineEdit*>(fields_[n])->setMaxLength(std::numeric_limits<int>::max());
    }
    keepLengthLimit(Text10, kTaxCodeLength);
    keepLengthLimit(Text11, kVatNumberLength);
    connect(Text10, &QLineEdit::textChanged, this, [this] { Text10_Change(); });
    // A province's abbreviation is kept in capitals, as the tax code is.
    connect(Text7, &QLineEdit::textChanged, this, [this] {
        const int caret = Text7->cursorPosition();
        setFieldText(7, QString::fromStdString(
                            clivara::customers::provinceAsStored(Text7->text().toStdString())));
        Text7->setCursorPosition(caret);
    });

    QWidget* previous = Combo1;
    for (QWidget* next :
         std::initializer_list<QWidget*>{Text1, Text3, Text4, Text5, Text6, Text7, Text8, Text9,
                                         Text10, Text11, Text12, Text13, Text2}) {
        setTabOrder(previous, next);
        previous = next;
    }

    for (const LabelPlace& place : kLabels) {
        controls_.append(Label[place.number]);
    }
    controls_.append(Combo1);
    for (int n = 1; n <= 13; ++n) {
        controls_.append(fields_[n]);
    }
}

// The user cannot type or paste past the limit, as the line edit's maximum length does.
// A longer text assigned by the program (an archive written elsewhere) is kept whole: the
// maximum follows the text down again as it shrinks, so nothing assigned is ever cut.
void Form1::keepLengthLimit(QLineEdit* edit, int limit) {
    edit->setMaxLength(limit);
    connect(edit, &QLineEdit::textChanged, this, [edit, limit](const QString& text) {
        const int wanted = std::max(limit, static_cast<int>(text.size()));
        if (edit->maxLength() != wanted) {
            edit->setMaxLength(wanted);
        }
    });
}

void Form1::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);

    mnuEsci = bar->addMenu(QStringLiteral("Esci dal Programma"));
    mnuEsci->setObjectName(QStringLiteral("mnuEsci"));
    MnEsci = mnuEsci->addAction(QStringLiteral("Esci"));
    MnEsci->setObjectName(QStringLiteral("MnEsci"));

    MnRubrica = bar->addAction(QStringLiteral("Rubrica"));
    MnRubrica->setObjectName(QStringLiteral("MnRubrica"));

    Mnu = bar->addMenu(QStringLiteral("Clienti"));
    Mnu->setObjectName(QStringLiteral("Mnu"));
    mnuA = Mnu->addAction(QStringLiteral("Aggiungi Cliente"));
    mnuA->setObjectName(QStringLiteral("mnuA"));
    mnuM = Mnu->addAction(QStringLiteral("Modifica Cliente"));
    mnuM->setObjectName(QStringLiteral("mnuM"));
    mnuE = Mnu->addAction(QStringLiteral("Elimina Cliente"));
    mnuE->setObjectName(QStringLiteral("mnuE"));
    mnuP = Mnu->addAction(QStringLiteral("Pulisci Campi"));
    mnuP->setObjectName(QStringLiteral("mnuP"));
    MnStampa = Mnu->addAction(QStringLiteral("Stampa Elenco Clienti"));
    MnStampa->setObjectName(QStringLiteral("MnStampa"));
    MnEtichette = Mnu->addAction(QStringLiteral("Stampa Etichette"));
    MnEtichette->setObjectName(QStringLiteral("MnEtichette"));
    mnuCerca = Mnu->addAction(QStringLiteral("Cerca Cliente..."));
    mnuCerca->setObjectName(QStringLiteral("mnuCerca"));
    mnuCerca->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addUndoActions(*this);

    MnuPra = bar->addMenu(QStringLiteral("Pratiche"));
    MnuPra->setObjectName(QStringLiteral("MnuPra"));
    MnPratica = MnuPra->addAction(QStringLiteral("Pratica"));
    MnPratica->setObjectName(QStringLiteral("MnPratica"));

    MenuCarta = bar->addAction(QStringLiteral("Carte CCIAA"));
    MenuCarta->setObjectName(QStringLiteral("MenùCarta"));
    MNRicorsi = bar->addAction(QStringLiteral("Ricorsi"));
    MNRicorsi->setObjectName(QStringLiteral("MNRicorsi"));

    for (QAction* entry : {mnuA, mnuM, mnuE}) {
        addArchiveChangingEntry(entry);
    }

    connect(MnEsci, &QAction::triggered, this, [this] { MnEsci_Click(); });
    connect(mnuA, &QAction::triggered, this, [this] { mnuA_Click(); });
    connect(mnuM, &QAction::triggered, this, [this] { mnuM_Click(); });
    connect(mnuE, &QAction::triggered, this, [this] { mnuE_Click(); });
    connect(mnuP, &QAction::triggered, this, [this] { mnuP_Click(); });
    connect(MnStampa, &QAction::triggered, this, [this] { MnStampa_Click(); });
    connect(MnEtichette, &QAction::triggered, this, [this] { MnEtichette_Click(); });
    connect(mnuCerca, &QAction::triggered, this, [this] { mnuCerca_Click(); });
    connect(MnRubrica, &QAction::triggered, this, [this] { MnRubrica_Click(); });
    connect(mnuAnnulla, &QAction::triggered, this, [this] { mnuAnnulla_Click(); });
    connect(mnuRipeti, &QAction::triggered, this, [this] { mnuRipeti_Click(); });
}

QString Form1::fieldText(int n) const {
    if (n < 1 || n > 13) {
        return {};
    }
    if (auto* line = qobject_cast<QLineEdit*>(fields_[n])) {
        return line->text();
    }
    return static_cast<QPlainTextEdit*>(fields_[n])->toPlainText();
}

void Form1::setFieldText(int n, const QString& text) {
    if (n >= 1 && n <= 13) {
        setControlText(fields_[n], text);
    }
}

bool Form1::setControlText(QWidget* target, const QString& text) {
    if (target == nullptr) {
        return false;
    }
    if (auto* line = qobject_cast<QLineEdit*>(target)) {
        if (line->text() != text) {
            // Never cut a text the program assigns; the user's own limit is kept separately.
            if (line->maxLength() < text.size()) {
                line->setMaxLength(static_cast<int>(text.size()));
            }
            line->setText(text);  // a real change runs the field's change handler here
        }
        return true;
    }
    if (auto* notes = qobject_cast<QPlainTextEdit*>(target)) {
        if (notes->toPlainText() != text) {
            notes->setPlainText(text);
        }
        return true;
    }
    if (target == Combo1) {
        setComboText(text);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(target)) {
        label->setText(text);
        return true;
    }
    return false;
}

QString Form1::comboText() const {
    return Combo1->currentText();
}

void Form1::setComboText(const QString& text) {
    if (Combo1->currentText() == text) {
        return;
    }
    Combo1->setEditText(text);
    runComboChange();
}

void Form1::runComboChange() {
    // Combo1_Change empties and refills the list itself; those are not changes of the text
    // the user made, and must not start the handler again.
    if (inComboChange_ || inComboClear_) {
        return;
    }
    inComboChange_ = true;
    Combo1_Change();
    inComboChange_ = false;
}

void Form1::comboClear() {
    inComboClear_ = true;
    {
        const QSignalBlocker blocker(Combo1);
        comboEntries_->clear();
        Combo1->clearEditText();
    }
    inComboClear_ = false;
}

void Form1::comboAddItem(const QString& text) {
    comboAddItems(QStringList{text});
}

template <class Append>
void Form1::appendComboEntries(Append&& append) {
    // A combo box makes the first entry current when entries arrive in an empty list; the
    // list only appends here, so the index and the text line are put back as they were.
    const int indexBefore = Combo1->currentIndex();
    const QString textBefore = Combo1->currentText();
    const QSignalBlocker blocker(Combo1);
    append();
    if (Combo1->currentIndex() != indexBefore) {
        Combo1->setCurrentIndex(indexBefore);
    }
    if (Combo1->currentText() != textBefore) {
        Combo1->setEditText(textBefore);
    }
}

void Form1::comboAddItems(const QStringList& texts) {
    if (texts.isEmpty()) {
        return;
    }
    appendComboEntries([&] { comboEntries_->append(texts); });
}

void Form1::comboAddItems(const NameBlock& texts) {
    if (texts.empty()) {
        return;
    }
    appendComboEntries([&] { comboEntries_->append(texts); });
}

QWidget* Form1::control(const QString& name) const {
    for (QWidget* candidate : controls_) {
        if (candidate->objectName().compare(name, Qt::CaseInsensitive) == 0) {
            return candidate;
        }
    }
    return nullptr;
}

void Form1::mnuP_Click() {
    for (int n = 1; n <= 13; ++n) {
        setControlText(control(QStringLiteral("text") + QString::number(n)), QString());
    }
    comboClear();
    Text1->setFocus();
}

void Form1::Text10_Change() {
    const int caret = Text10->cursorPosition();
    // A real change runs this handler once more, nested, which finds nothing left to change.
    setFieldText(10, upperCaseKeepingLength(Text10->text()));
    Text10->setCursorPosition(caret);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Form_QueryUnload: only "Esci" ends the program.
    event->ignore();
}

bool Form1::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) {
        runFirstActivation();
    }
    return handled;
}

void Form1::runFirstActivation() {
    if (activated_) {
        return;
    }
    activated_ = true;
    Form_Activate();
}

void Form1::showAndActivate() {
    show();
    raise();
    activateWindow();
    // Without a window manager (or on a platform that never activates) no activation may
    // arrive: the start-up still runs, right after the events of showing.
    QTimer::singleShot(0, this, [this] { runFirstActivation(); });
}
