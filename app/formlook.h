#pragma once
// The look every form of the program shares: the font the forms were drawn
// in, the grey button face behind their controls, and the middle of the
// screen for a top-level form.
#include <QFont>
#include <QString>

class QWidget;

// The forms' font family; main.cpp puts a Japanese Gothic in its place where
// the system has no such font.
QString FormFontFamily();
QFont FormFont(int pixelSize);

// The grey face and the forms' font at 12 px.
void SetFormLook(QWidget* form);

// Centred on the primary screen's free area.
void CentreOnScreen(QWidget* form);
