#pragma once

#include <QDialog>
#include <QMap>

class QFrame;
class QPushButton;
class SearchContext;

namespace Ui {
class TFSearch;
}

// The search dialog: a port, a run over every address, one result panel per
// instrument that answered, and the one clicked becomes the working
// instrument. Created once with the main window and shown many times;
// closing only hides it, and is refused while a probe holds the line.
class TFSearch : public QDialog {
    Q_OBJECT
public:
    explicit TFSearch(SearchContext& context, QWidget* parent = nullptr);
    ~TFSearch() override;

    // Connect → Search (modeless) and F5 (modal): the port list is scanned,
    // then the dialog is shown (or raised when it already is).
    void showSearch(bool modal);

    SearchContext& context() { return ctx_; }
    // The result panels on show, by number (1 upwards).
    QList<QFrame*> resultPanels() const { return panels_.values(); }
    bool scelto() const { return scelto_; }
    int trovati() const { return trovati_; }

    void btsearchClick();
    // Creates result panel `numero` (DATnn with Imagenn and Btselnn) for
    // the instrument at `indirizzo_trovato`; a panel of that number goes first.
    void add_panel(int numero, int indirizzo_trovato);
    // Removes every result panel.
    void Delete_DAT();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void fillPortList();
    void CBPortaChange();
    // "Network…": the host, port and kind of a network serial server.
    void askNetworkPort();
    void BtselClick();
    void FormShow();

    Ui::TFSearch* ui;
    SearchContext& ctx_;
    QMap<int, QFrame*> panels_;
    bool running_ = false;
    bool scelto_ = false;
    int trovati_ = 0;
};
