#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// One change to a page control, addressed by the control's objectName.
// The front end applies it with the control's change handler blocked, so
// showing a value never writes it back to the instrument.
struct ControlUpdate {
    enum class What {
        Text,     // text := text (an edit's text, a label's caption, an IP field)
        Index,    // selected item := index; -1 or past the end means no selection
        Items,    // the item list := items, leaving no selection
        Retitle,  // the items' texts := items, in place: a list of the same
                  // length keeps its selection (a language change)
        Visible,  // shown := flag
        Enabled,  // enabled := flag
    };

    QString control;
    What what = What::Text;
    QString text;
    int index = -1;
    QStringList items;
    bool flag = false;

    static ControlUpdate setText(const QString& control, const QString& text);
    static ControlUpdate setIndex(const QString& control, int index);
    static ControlUpdate setItems(const QString& control, const QStringList& items);
    static ControlUpdate retitleItems(const QString& control, const QStringList& items);
    static ControlUpdate setVisible(const QString& control, bool visible);
    static ControlUpdate setEnabled(const QString& control, bool enabled);

    bool operator==(const ControlUpdate& other) const = default;
};

// The state of one mirrored control. A combo box's text is its selected
// item's text; setting only the text leaves the index alone.
struct ControlState {
    QString text;
    int index = -1;
    QStringList items;
    bool visible = true;
    bool enabled = true;
};

// The core's mirror of the page controls it reads or writes. The core
// changes controls only through publish(), which updates the mirror and
// hands the change to the front end; the front end reports the user's own
// changes through the set* calls (mirror only), so that what the core reads
// here is what the technician sees.
class ControlModel {
public:
    using Hook = std::function<void(const ControlUpdate&)>;

    // Mirror only.
    void apply(const ControlUpdate& update);
    void setText(const QString& control, const QString& text);
    void setIndex(const QString& control, int index);
    void setItems(const QString& control, const QStringList& items);
    void setVisible(const QString& control, bool visible);
    void setEnabled(const QString& control, bool enabled);

    // Mirror and front end. Without a hook the update is queued for
    // takeUpdates(); with a hook it goes to the hook only, so a front end
    // that applies live never lets a queue grow.
    void publish(const ControlUpdate& update);
    QList<ControlUpdate> takeUpdates();
    // Installing a hook first delivers what is queued.
    void setHook(Hook hook);

    bool has(const QString& control) const { return controls_.contains(control); }
    ControlState state(const QString& control) const { return controls_.value(control); }
    QString text(const QString& control) const { return controls_.value(control).text; }
    int index(const QString& control) const { return controls_.value(control).index; }
    QStringList items(const QString& control) const { return controls_.value(control).items; }
    bool visible(const QString& control) const { return controls_.value(control).visible; }
    bool enabled(const QString& control) const { return controls_.value(control).enabled; }

    // Updates that bring a front end built with default controls to the
    // mirror's state (items before index, so the selection lands).
    QList<ControlUpdate> snapshot() const;

private:
    QHash<QString, ControlState> controls_;
    QList<ControlUpdate> pending_;
    Hook hook_;
};
