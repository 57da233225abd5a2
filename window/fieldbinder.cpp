#include "window/fieldbinder.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "device/decoding.h"
#include "session/fieldbindings.h"
#include "session/pagecontext.h"
#include "window/valuecheck.h"

FieldBinder::FieldBinder(PageContext& context, QObject* parent)
    : QObject(parent), ctx_(context) {}

int FieldBinder::bind(QWidget* page, Accepted accepted) {
    accepted_ = std::move(accepted);
    int bound = 0;
    for (const FieldBinding& row : typedFields()) {
        auto* field = page->findChild<QLineEdit*>(row.field);
        if (!field)
            continue;
        ++bound;
        // The row lives in a static table, so pointing at it is safe.
        const FieldBinding* r = &row;
        if (row.trigger == FieldBinding::Trigger::EachChange)
            connect(field, &QLineEdit::textChanged, this, [this, field, r] { run(field, *r); });
        else
            connect(field, &QLineEdit::editingFinished, this, [this, field, r] {
                // Leaving a field that was not touched writes nothing.
                if (field->isModified())
                    run(field, *r);
            });
    }
    return bound;
}

void FieldBinder::run(QLineEdit* field, const FieldBinding& row) {
    field->setModified(false);
    const FieldRule r = ruleFor(row, ctx_.display());
    if (r.clamp && r.maximum) {
        // Above the protocol's highest address: that address instead.
        const std::optional<qint64> typed = parseInteger(field->text().trimmed());
        if (typed && *typed > *r.maximum) {
            const QSignalBlocker quiet(field);
            field->setText(QString::number(*r.maximum));
        }
    }
    TypedFieldRule rule;
    rule.decimals = r.decimals;
    rule.maximum = r.clamp ? std::nullopt : r.maximum;
    rule.checkBeforeFormat = r.checkBeforeFormat;
    rule.divisionStep = r.divisionStep;
    rule.replacementWhenTooLarge = r.replacementWhenTooLarge;
    const std::optional<QString> value = acceptTypedField(field, rule);
    if (!value)
        return;
    ctx_.userChanged(ControlUpdate::setText(row.field, field->text()));
    if (row.role >= 0) {
        const Outcome outcome = ctx_.writeParameter(row.role, *value);
        if (written_)
            written_(row, *value, outcome);
    } else if (accepted_)
        accepted_(row, *value);
}
