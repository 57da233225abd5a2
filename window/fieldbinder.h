#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "link/outcome.h"

class PageContext;
class QLineEdit;
class QWidget;
struct FieldBinding;

// Runs the typed-field pattern for every typed field found on a page: on
// leaving the field or on each change (as its row says) the text is checked,
// reformatted, converted and written to the row's role through the page's
// context. A row without a role hands the accepted text to `accepted`.
class FieldBinder : public QObject {
    Q_OBJECT
public:
    using Accepted = std::function<void(const FieldBinding& row, const QString& value)>;

    FieldBinder(PageContext& context, QObject* parent = nullptr);

    // Binds every row of the typed-field table whose field is a QLineEdit
    // on `page`; returns how many were bound.
    int bind(QWidget* page, Accepted accepted = {});
    // Runs one field's pattern now, as its trigger would.
    void run(QLineEdit* field, const FieldBinding& row);

    // Told after a row with a role has been written, with how the write
    // ended, for pages whose field has a sequel (the serial address).
    using Written =
        std::function<void(const FieldBinding& row, const QString& value, const Outcome& outcome)>;
    void setWritten(Written written) { written_ = std::move(written); }

private:
    PageContext& ctx_;
    Accepted accepted_;
    Written written_;
};
