#pragma once
// The look every form of the program shares: the font the forms were drawn
// in, the grey button face behind their controls, and the middle of the
// screen for a top-level form.
#include <QFont>
#include <QString>

class QWidget;

// The forms' font family; UseStandInFonts puts a Japanese Gothic in its
// place where the system has no such font.
QString FormFontFamily();
// The Gothics that stand in for the forms' font, the first installed one
// used; before any form is made (the program, and tests that show forms).
void UseStandInFonts();
QFont FormFont(int pixelSize);

// The grey face and the forms' font at 12 px.
void SetFormLook(QWidget* form);

// Centred on the primary screen's free area.
void CentreOnScreen(QWidget* form);

// The fixed layout was drawn for the forms' own font; the Japanese Gothic
// that stands in for it may draw a caption wider than its control. Such a
// caption is condensed just enough to fit the room the style gives it
// (labels, buttons, check boxes under root); no control moves or grows.
void FitCaptions(QWidget* root);
// font narrowed (a horizontal stretch, never below half) until text is at
// most room pixels wide in it; font itself when it fits already.
QFont Condensed(const QFont& font, const QString& text, int room);
