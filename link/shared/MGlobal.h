#pragma once

#include <QByteArray>
#include <QString>

class Plateforme;
class BoitesMessage;

// Procedures shared by the whole link engine.
namespace MGlobal {

// The data key guarding a file part: both stations must compute it identically. Every
// character of the first 2048 counts, then every tenth up to the millionth, then every
// hundredth; codes are those of the characters the bytes stand for (Windows-1252).
QByteArray CleDonnees(const QByteArray &Texte);

// Pauses in steps of 250 ms (1 to 250 ms: one step; 251: two) while events keep running:
// received data, timer ticks and clicks are handled meanwhile, so the caller must re-read
// any state it relies on afterwards. Below 1 ms returns at once.
void Attendre(Plateforme &plateforme, qint32 millisecondes);

// A modal message box; a minimised main window is first brought back (the box's side does
// that). Returns the button chosen.
int AfficherMessage(BoitesMessage &boites, const QString &message, int boutons, const QString &titre);

// A text from the other station, fit to show or to journal: control characters written as
// \xNN (a terminal or a log reader obeys none of them), and no longer than longueurMax.
QString TexteDistant(const QString &texte, qsizetype longueurMax = 500);

}
