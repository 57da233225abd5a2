#include "window/localizeradapter.h"

#include <QAbstractButton>
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextEdit>

#include "window/radiogroup.h"

namespace {

QString unknown(const QString& path, const QWidget* window) {
    return QStringLiteral(
               "Unknown property \"%1\" found in component \"%2\".\r\nRemove it from "
               "language file")
        .arg(path, window->objectName());
}

QString failed(const QString& path, const QWidget* window, const QString& why) {
    return QStringLiteral("Translation error of property \"%1\" in component \"%2\"\r\n")
               .arg(path, window->objectName()) +
           why;
}

// A language file breaks lines with CR (or CR LF); widgets with LF.
QString widgetText(const QString& value) {
    QString t = value;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

QStringList linesOf(const QString& value) {
    return value.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
}

bool hasLetter(const QString& text) {
    for (const QChar c : text)
        if (c.isLetter())
            return true;
    return false;
}

// The window an object belongs to: menus are windows of their own in Qt
// but belong to the window whose menu bar holds them.
const QWidget* ownerWindow(const QObject* o) {
    for (; o; o = o->parent()) {
        const auto* w = qobject_cast<const QWidget*>(o);
        if (w && w->isWindow() && !qobject_cast<const QMenu*>(w))
            return w;
    }
    return nullptr;
}

bool usableName(const QObject* o) {
    const QString n = o->objectName();
    return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

// Breadth-first, so a name resolves to the control nearest the start.
QObject* findOwn(QObject* start, const QWidget* window, const QString& name) {
    if (name.isEmpty())
        return nullptr;
    QList<QObject*> queue = start->children();
    for (qsizetype i = 0; i < queue.size(); ++i) {
        QObject* o = queue[i];
        if (ownerWindow(o) != window)
            continue;
        if (o->objectName() == name)
            return o;
        queue.append(o->children());
    }
    return nullptr;
}

// Replaces an item list in place: existing items overwritten, new ones
// appended, surplus ones removed from the end; the selection survives when
// its index still exists.
void setComboItems(QComboBox* box, const QStringList& items) {
    const int common = std::min<int>(box->count(), int(items.size()));
    for (int i = 0; i < common; ++i)
        box->setItemText(i, items[i]);
    for (int i = common; i < items.size(); ++i)
        box->addItem(items[i]);
    while (box->count() > items.size())
        box->removeItem(box->count() - 1);
}

void setListItems(QListWidget* list, const QStringList& items) {
    const int common = std::min<int>(list->count(), int(items.size()));
    for (int i = 0; i < common; ++i)
        list->item(i)->setText(items[i]);
    for (int i = common; i < items.size(); ++i)
        list->addItem(items[i]);
    while (list->count() > items.size())
        delete list->takeItem(list->count() - 1);
}

// A step of a path that is not a QObject of its own.
struct Target {
    enum Kind { Object, ChartTitle, Font, Item } kind = Object;
    QObject* object = nullptr;
    int index = -1;
};

bool resolveStep(Target& t, const QWidget* window, const QString& part) {
    if (t.kind != Target::Object)
        return false;
    if (part.startsWith(QLatin1Char('(')) && part.endsWith(QLatin1Char(')'))) {
        bool ok = false;
        const int index = part.mid(1, part.size() - 2).toInt(&ok);
        const bool collection = qobject_cast<QComboBox*>(t.object) ||
                                qobject_cast<QListWidget*>(t.object) ||
                                qobject_cast<QTabWidget*>(t.object);
        if (!ok || !collection || index < 0)
            return false;
        t.kind = Target::Item;
        t.index = index;
        return true;
    }
    if (QObject* child = findOwn(t.object, window, part)) {
        t.object = child;
        return true;
    }
    if (part == QLatin1String("Title") && qobject_cast<QChartView*>(t.object)) {
        t.kind = Target::ChartTitle;
        return true;
    }
    if (part == QLatin1String("Font") && qobject_cast<QWidget*>(t.object)) {
        t.kind = Target::Font;
        return true;
    }
    // An object-valued property exposed under that name.
    const QMetaObject* mo = t.object->metaObject();
    for (const QString& name : {part, part.left(1).toLower() + part.mid(1)}) {
        const int i = mo->indexOfProperty(name.toLatin1().constData());
        if (i < 0)
            continue;
        const QMetaProperty p = mo->property(i);
        if (p.metaType().flags() & QMetaType::PointerToQObject) {
            auto* o = p.read(t.object).value<QObject*>();
            if (o) {
                t.object = o;
                return true;
            }
        }
    }
    return false;
}

// Sets the last part of a path. Returns false when the object has no such
// property; throws nothing.
bool setLeaf(const Target& t, const QString& prop, const QString& raw, QString* why) {
    const QString text = widgetText(raw);
    switch (t.kind) {
        case Target::ChartTitle:
            if (prop != QLatin1String("Text"))
                return false;
            static_cast<QChartView*>(t.object)->chart()->setTitle(text);
            return true;
        case Target::Font: {
            auto* w = static_cast<QWidget*>(t.object);
            QFont f = w->font();
            if (prop == QLatin1String("Name")) {
                f.setFamilies({text});
            } else if (prop == QLatin1String("Size")) {
                bool ok = false;
                const int size = text.toInt(&ok);
                if (!ok || size <= 0 || size > 200) {
                    *why = QStringLiteral("\"%1\" is not a valid font size").arg(text);
                    return true;
                }
                f.setPointSize(size);
            } else {
                return false;
            }
            w->setFont(f);
            return true;
        }
        case Target::Item: {
            if (prop != QLatin1String("Text") && prop != QLatin1String("Caption"))
                return false;
            if (auto* box = qobject_cast<QComboBox*>(t.object)) {
                if (t.index >= box->count())
                    return false;
                box->setItemText(t.index, text);
            } else if (auto* list = qobject_cast<QListWidget*>(t.object)) {
                if (t.index >= list->count())
                    return false;
                list->item(t.index)->setText(text);
            } else if (auto* tabs = qobject_cast<QTabWidget*>(t.object)) {
                if (t.index >= tabs->count())
                    return false;
                tabs->setTabText(t.index, text);
            }
            return true;
        }
        case Target::Object:
            break;
    }
    QObject* o = t.object;
    auto* w = qobject_cast<QWidget*>(o);
    if (prop == QLatin1String("Caption") || prop == QLatin1String("Title")) {
        if (auto* g = qobject_cast<QGroupBox*>(o))
            g->setTitle(text);
        else if (auto* m = qobject_cast<QMenu*>(o))
            m->setTitle(text);
        else if (auto* a = qobject_cast<QAction*>(o))
            a->setText(text);
        else if (auto* c = qobject_cast<QChartView*>(o); c && prop == QLatin1String("Title"))
            c->chart()->setTitle(text);
        else if (prop == QLatin1String("Title"))
            return false;
        else if (auto* l = qobject_cast<QLabel*>(o))
            l->setText(text);
        else if (auto* b = qobject_cast<QAbstractButton*>(o))
            b->setText(text);
        else if (w && w->isWindow())
            w->setWindowTitle(text);
        else
            return false;
        return true;
    }
    if (prop == QLatin1String("Text")) {
        if (auto* e = qobject_cast<QLineEdit*>(o))
            e->setText(text);
        else if (auto* l = qobject_cast<QLabel*>(o))
            l->setText(text);
        else if (auto* b = qobject_cast<QAbstractButton*>(o))
            b->setText(text);
        else if (auto* a = qobject_cast<QAction*>(o))
            a->setText(text);
        else if (auto* p = qobject_cast<QPlainTextEdit*>(o))
            p->setPlainText(text);
        else if (auto* te = qobject_cast<QTextEdit*>(o))
            te->setPlainText(text);
        else if (auto* c = qobject_cast<QComboBox*>(o); c && c->isEditable())
            c->setEditText(text);
        else
            return false;
        return true;
    }
    if (prop == QLatin1String("Items") || prop == QLatin1String("Lines")) {
        const QStringList lines = linesOf(raw);
        if (auto* c = qobject_cast<QComboBox*>(o))
            setComboItems(c, lines);
        else if (auto* l = qobject_cast<QListWidget*>(o))
            setListItems(l, lines);
        else if (auto* r = qobject_cast<RadioGroup*>(o)) {
            const int index = r->itemIndex();
            r->setItems(lines);
            if (index >= 0 && index < lines.size())
                r->setItemIndex(index);
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(o))
            p->setPlainText(lines.join(QLatin1Char('\n')));
        else if (auto* te = qobject_cast<QTextEdit*>(o))
            te->setPlainText(lines.join(QLatin1Char('\n')));
        else
            return false;
        return true;
    }
    if (prop == QLatin1String("Hint")) {
        if (auto* a = qobject_cast<QAction*>(o))
            a->setToolTip(text);
        else if (w)
            w->setToolTip(text);
        else
            return false;
        return true;
    }
    if (prop == QLatin1String("TextHint")) {
        auto* e = qobject_cast<QLineEdit*>(o);
        if (!e)
            return false;
        e->setPlaceholderText(text);
        return true;
    }
    // Any writable text property by its Qt name.
    const QMetaObject* mo = o->metaObject();
    const int i = mo->indexOfProperty(prop.toLatin1().constData());
    if (i < 0)
        return false;
    const QMetaProperty p = mo->property(i);
    if (!p.isWritable())
        return false;
    if (p.metaType() == QMetaType::fromType<QString>())
        return p.write(o, text);
    if (p.metaType() == QMetaType::fromType<QStringList>())
        return p.write(o, linesOf(raw));
    return false;
}

}  // namespace

namespace LocalizerAdapter {

bool setProperty(QWidget* window, const QString& path, const QString& value, QString* error) {
    const QStringList parts = path.split(QLatin1Char('.'));
    Target t;
    t.object = window;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (!resolveStep(t, window, parts[i].trimmed())) {
            *error = unknown(path, window);
            return false;
        }
    }
    QString why;
    bool known = false;
    {
        const QSignalBlocker block(t.object);
        known = setLeaf(t, parts.last().trimmed(), value, &why);
    }
    if (!known) {
        *error = unknown(path, window);
        return false;
    }
    if (!why.isEmpty()) {
        *error = failed(path, window, why);
        return false;
    }
    return true;
}

QString property(QWidget* window, const QString& path) {
    const QStringList parts = path.split(QLatin1Char('.'));
    Target t;
    t.object = window;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        if (!resolveStep(t, window, parts[i]))
            return {};
    const QString prop = parts.last();
    QObject* o = t.object;
    if (t.kind == Target::ChartTitle)
        return static_cast<QChartView*>(o)->chart()->title();
    if (t.kind != Target::Object)
        return {};
    if (prop == QLatin1String("Caption")) {
        if (auto* g = qobject_cast<QGroupBox*>(o))
            return g->title();
        if (auto* m = qobject_cast<QMenu*>(o))
            return m->title();
        if (auto* a = qobject_cast<QAction*>(o))
            return a->text();
        if (auto* l = qobject_cast<QLabel*>(o))
            return l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(o))
            return b->text();
        if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow())
            return w->windowTitle();
    } else if (prop == QLatin1String("Text")) {
        if (auto* e = qobject_cast<QLineEdit*>(o))
            return e->text();
        if (auto* p = qobject_cast<QPlainTextEdit*>(o))
            return p->toPlainText();
    } else if (prop == QLatin1String("Lines") || prop == QLatin1String("Items")) {
        if (auto* p = qobject_cast<QPlainTextEdit*>(o))
            return p->toPlainText();
        if (auto* l = qobject_cast<QListWidget*>(o)) {
            QStringList items;
            for (int i = 0; i < l->count(); ++i)
                items << l->item(i)->text();
            return items.join(QLatin1Char('\n'));
        }
    } else if (prop == QLatin1String("Hint")) {
        if (auto* a = qobject_cast<QAction*>(o))
            return a->toolTip();
        if (auto* w = qobject_cast<QWidget*>(o))
            return w->toolTip();
    } else if (prop == QLatin1String("TextHint")) {
        if (auto* e = qobject_cast<QLineEdit*>(o))
            return e->placeholderText();
    }
    return {};
}

void markRunTime(QObject* control) {
    control->setProperty("velmoraRunTimeText", true);
}

QList<QObject*> ownObjects(QWidget* window) {
    QList<QObject*> out;
    QList<QObject*> queue = window->children();
    for (qsizetype i = 0; i < queue.size(); ++i) {
        QObject* o = queue[i];
        if (ownerWindow(o) != window)
            continue;
        out.append(o);
        queue.append(o->children());
    }
    return out;
}

QList<Text> texts(QWidget* window) {
    QList<Text> out;
    auto add = [&out](const QString& path, const QString& value) {
        if (hasLetter(value))
            out.append(Text{path, value});
    };
    add(QStringLiteral("Caption"), window->windowTitle());
    for (QObject* o : ownObjects(window)) {
        if (!usableName(o) || o->property("velmoraRunTimeText").toBool())
            continue;
        const QString n = o->objectName();
        // The radio group's buttons carry its items, set by the program.
        if (qobject_cast<RadioGroup*>(o->parent()))
            continue;
        if (auto* m = qobject_cast<QMenu*>(o)) {
            add(n + QStringLiteral(".Caption"), m->title());
            continue;
        }
        if (auto* a = qobject_cast<QAction*>(o)) {
            add(n + QStringLiteral(".Caption"), a->text());
            continue;
        }
        auto* w = qobject_cast<QWidget*>(o);
        if (!w)
            continue;
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(n + QStringLiteral(".Caption"), g->title());
        else if (auto* l = qobject_cast<QLabel*>(w))
            add(n + QStringLiteral(".Caption"), l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(n + QStringLiteral(".Caption"), b->text());
        else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            add(n + QStringLiteral(".Text"), e->text());
            add(n + QStringLiteral(".TextHint"), e->placeholderText());
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            add(n + QStringLiteral(".Lines"), p->toPlainText());
        else if (auto* li = qobject_cast<QListWidget*>(w)) {
            QStringList items;
            for (int i = 0; i < li->count(); ++i)
                items << li->item(i)->text();
            add(n + QStringLiteral(".Items"), items.join(QLatin1Char('\n')));
        } else if (auto* c = qobject_cast<QChartView*>(w))
            add(n + QStringLiteral(".Title.Text"), c->chart()->title());
        add(n + QStringLiteral(".Hint"), w->toolTip());
    }
    return out;
}

QStringList sections(const QWidget* window) {
    QStringList chain;
    for (const QMetaObject* mo = window->metaObject(); mo; mo = mo->superClass()) {
        const QString name = QString::fromLatin1(mo->className());
        if (name.startsWith(QLatin1Char('Q')))
            break;
        // The data window's class keeps the short name of its file.
        chain.prepend(name == QLatin1String("Fdata") ? QStringLiteral("TFdata") : name);
    }
    return chain;
}

}  // namespace LocalizerAdapter
