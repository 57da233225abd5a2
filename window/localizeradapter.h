#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QObject;
class QWidget;

// The localizer's widget side: property paths of a language file applied
// to Qt objects. A path starts at a window and names its controls by
// objectName ("Label1.Caption", "Chart1.Title.Text", "Language1.Caption");
// the property names of the file map to Qt's: Caption (label and button
// text, group-box and window title, menu and action text), Text (line
// edit), Items / Lines (item list, lines; a value splits at CR), Hint (tool
// tip), TextHint (placeholder), Title.Text (chart title), Font.Name and
// Font.Size, and any writable text property by its Qt name.
namespace LocalizerAdapter {

struct Text {
    QString path;
    QString value;  // as the widget holds it: lines joined by '\n'
};

// Sets the value; false with the report's text in *error when the path
// names nothing settable (the report the language-file reader makes).
// Signals of the changed object are blocked: a translated text never runs
// a change handler.
bool setProperty(QWidget* window, const QString& path, const QString& value, QString* error);
// The text a path names, or a null string when the path names nothing.
QString property(QWidget* window, const QString& path);
// Every translatable text of a window (texts with a letter in them), in a
// fixed order: what a template lists and what the translation replaces.
// Combo-box lists and radio-group items are the program's own run-time
// texts and are not listed.
QList<Text> texts(QWidget* window);
// A control whose texts the program always sets itself (a version, a
// port's description): left out of texts(), so no language file carries
// a stale copy.
void markRunTime(QObject* control);
// The objects that belong to a window: its own controls, menus and actions,
// not those of the dialogs it owns.
QList<QObject*> ownObjects(QWidget* window);
// The section names of a window's class chain, ancestors first ("TForm1";
// "TFdata" for the data window). Empty for Qt's own windows.
QStringList sections(const QWidget* window);

}  // namespace LocalizerAdapter
