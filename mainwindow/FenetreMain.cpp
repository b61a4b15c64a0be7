#include "mainwindow/FenetreMain.h"

#include "platform/EtatFenetre.h"

#include "auxwindows/CaseACocher.h"
#include "link/CInterlocuteur.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTime>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {
// The design positions are in twips; at 96 dots per inch a pixel is 15 twips.
constexpr int pixels(int twips)
{
    return (twips + 7) / 15;
}

QRect enPixels(QRect twips)
{
    return {pixels(twips.x()), pixels(twips.y()), pixels(twips.width()), pixels(twips.height())};
}

void remplir(QListWidget *liste, const QStringList &lignes)
{
    if (liste->count() == lignes.size()) {
        bool pareil = true;
        for (int i = 0; i < lignes.size() && pareil; ++i)
            pareil = liste->item(i)->text() == lignes[i];
        if (pareil)
            return;
    }
    const QSignalBlocker bloque(liste);
    liste->clear();
    liste->addItems(lignes);
}
}

QIcon FenetreMain::icone(int index)
{
    QPixmap image(32, 32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 0) {
        p.setBrush(QColor(200, 0, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(3, 3, 26, 26);
    } else {
        p.fillRect(1, 4, 30, 24, QColor(160, 160, 160));
        p.fillRect(4, 7, 24, 18, QColor(0, 0, 128));
    }
    return QIcon(image);
}

QPushButton *FenetreMain::bouton(const QString &nom, const QString &texte, QRect twips, QWidget *parent)
{
    auto *b = new QPushButton(texte, parent ? parent : this);
    b->setObjectName(nom);
    b->setGeometry(enPixels(twips));
    return b;
}

QListWidget *FenetreMain::liste(const QString &nom, QRect twips)
{
    auto *l = new QListWidget(this);
    l->setObjectName(nom);
    l->setGeometry(enPixels(twips));
    return l;
}

FenetreMain::FenetreMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FMain"));
    setFixedSize(pixels(6240), pixels(6990));
    // The design sizes are those of an 8-point sans-serif font.
    QFont police = font();
    police.setPointSize(8);
    setFont(police);
    setWindowIcon(icone(0));

    auto *Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(enPixels({60, -60, 6135, 615}));
    CocheConnecter = new CaseACocher(QStringLiteral("Connecter"), Frame1);
    CocheConnecter->setObjectName(QStringLiteral("CocheConnecter"));
    CocheConnecter->setGeometry(enPixels({80, 180, 1710, 375}));
    QFont gras = CocheConnecter->font();
    gras.setBold(true);
    CocheConnecter->setFont(gras);
    CocheSynchro = new CaseACocher(QStringLiteral("Synchronisation active"), Frame1);
    CocheSynchro->setObjectName(QStringLiteral("CocheSynchro"));
    CocheSynchro->setGeometry(enPixels({1980, 240, 1995, 255}));
    // A font wider than the design's would run its caption under the "Tester" button.
    for (QFont petite = CocheSynchro->font(); CocheSynchro->sizeHint().width() > CocheSynchro->width() && petite.pointSize() > 6;) {
        petite.setPointSize(petite.pointSize() - 1);
        CocheSynchro->setFont(petite);
    }
    BtnTestDialog = bouton(QStringLiteral("BtnTestDialog"), QStringLiteral("Tester"), {4020, 180, 915, 375}, Frame1);
    BtnConfigurer = bouton(QStringLiteral("BtnConfigurer"), QStringLiteral("Configurer"), {4980, 180, 1095, 375}, Frame1);

    const auto etiquette = [this](const QString &nom, const QString &texte, QRect twips) {
        auto *l = new QLabel(texte, this);
        l->setObjectName(nom);
        l->setGeometry(enPixels(twips));
        l->resize(std::max(l->width(), l->sizeHint().width()), l->height());
        return l;
    };
    etiquette(QStringLiteral("Label3"), QStringLiteral("Emissions :"), {120, 660, 780, 195});
    ListeEmissions = liste(QStringLiteral("ListeEmissions"), {60, 900, 6135, 1620});
    etiquette(QStringLiteral("Label2"), QStringLiteral("Réceptions :"), {120, 2580, 900, 195});
    ListeReceptions = liste(QStringLiteral("ListeRéceptions"), {60, 2820, 6135, 1620});
    etiquette(QStringLiteral("Label1"), QStringLiteral("Informations :"), {60, 4500, 945, 195});
    lblTimeOut = etiquette(QStringLiteral("lblTimeOut"), QStringLiteral("TO"), {5955, 4560, 225, 195});
    ListeInfo = liste(QStringLiteral("ListeInfo"), {60, 4740, 6135, 1620});
    // The "X" buttons lie over the lower left corner of their lists.
    auto *effacerEmissions = bouton(QStringLiteral("BtnEffacerEmissions"), QStringLiteral("X"), {120, 2220, 255, 255});
    auto *effacerReceptions = bouton(QStringLiteral("BtnEffacerReceptions"), QStringLiteral("X"), {120, 4140, 255, 255});
    auto *effacerInfo = bouton(QStringLiteral("BtnEffacerInfo"), QStringLiteral("X"), {120, 6060, 255, 255});
    auto *envoi = bouton(QStringLiteral("BtnEnvoi"), QStringLiteral("Envoyer un\nmessage"), {60, 6420, 975, 495});
    txtCmde = new QLineEdit(this);
    txtCmde->setObjectName(QStringLiteral("txtCmde"));
    txtCmde->setGeometry(enPixels({1020, 6420, 3975, 495}));
    auto *terminer = bouton(QStringLiteral("BtnTerminer"), QStringLiteral("Terminer"), {4980, 6420, 1215, 495});

    // The label reads its kind and counter; "Surveillance-5*30" needs more than its design width.
    lblTimeOut->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTimeOut->setGeometry(enPixels({3000, 4545, 3180, 225}));
    relier({effacerEmissions, effacerReceptions, effacerInfo, envoi, terminer});
}

void FenetreMain::relier(const BoutonsSansNom &b)
{
    const auto logique = [this](auto action) {
        return [this, action] {
            if (mLogique)
                action(*mLogique);
        };
    };
    connect(CocheConnecter, &QCheckBox::clicked, this, logique([this](FMain &f) { f.setCocheConnecter(CocheConnecter->valeur()); }));
    connect(CocheSynchro, &QCheckBox::clicked, this, logique([this](FMain &f) { f.setCocheSynchro(CocheSynchro->valeur()); }));
    connect(BtnTestDialog, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnTestDialog_Click(); }));
    connect(BtnConfigurer, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnConfigurer_Click(); }));
    connect(b.effacerEmissions, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnEffacerEmissions_Click(); }));
    connect(b.effacerReceptions, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnEffacerReceptions_Click(); }));
    connect(b.effacerInfo, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnEffacerInfo_Click(); }));
    connect(b.envoi, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnEnvoi_Click(); }));
    connect(b.terminer, &QPushButton::clicked, this, logique([](FMain &f) { f.BtnTerminer_Click(); }));
    connect(txtCmde, &QLineEdit::textEdited, this, [this](const QString &texte) {
        if (mLogique)
            mLogique->txtCmde = texte;
    });
    connect(ListeEmissions, &QListWidget::itemClicked, this,
            logique([this](FMain &f) { f.ListeEmissions_Click(ListeEmissions->currentRow()); }));
    connect(ListeReceptions, &QListWidget::itemClicked, this,
            logique([this](FMain &f) { f.ListeRéceptions_Click(ListeReceptions->currentRow()); }));
    connect(ListeInfo, &QListWidget::itemClicked, this, logique([this](FMain &f) { f.ListeInfo_Click(ListeInfo->currentRow()); }));
}

void FenetreMain::rafraichir(FMain &f)
{
    setWindowTitle(f.caption());
    setWindowIcon(icone(f.icone()));
    CocheConnecter->setValeur(f.CocheConnecter());
    CocheConnecter->setText(f.captionCocheConnecter());
    QFont police = CocheConnecter->font();
    police.setItalic(f.italiqueCocheConnecter());
    CocheConnecter->setFont(police);
    CocheConnecter->setEnabled(f.CocheConnecterActif());
    CocheSynchro->setValeur(f.CocheSynchro());
    CocheSynchro->setEnabled(f.CocheSynchroActif());
    BtnTestDialog->setEnabled(f.BtnTestDialogActif());
    lblTimeOut->setText(f.lblTimeOut());
    remplir(ListeEmissions, f.ListeEmissions());
    remplir(ListeReceptions, f.ListeRéceptions());
    remplir(ListeInfo, f.ListeInfo());
    ListeReceptions->setToolTip(f.tooltipReceptions());
    ListeInfo->setToolTip(f.tooltipInfo());
    if (txtCmde->text() != f.txtCmde)
        txtCmde->setText(f.txtCmde);
    capturer();
}

void FenetreMain::ligneAjoutee(const QString &liste, const QString &ligne)
{
    if (!mEcho)
        return;
    const QString poste = mLogique && mLogique->Poste() ? mLogique->Poste()->Index : QString();
    std::printf("%s [%s] %s : %s\n", qUtf8Printable(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))), qUtf8Printable(poste),
                qUtf8Printable(liste), qUtf8Printable(ligne));
    std::fflush(stdout);
}

void FenetreMain::capturer()
{
    if (mCapture.isEmpty() || mCapturePrevue)
        return;
    mCapturePrevue = true;
    QTimer::singleShot(300, this, [this] {
        mCapturePrevue = false;
        grab().save(mCapture);
    });
}

int FenetreMain::etatFenetre() const
{
    if (isMinimized())
        return EtatFenetre::Minimisee;
    return isMaximized() ? EtatFenetre::Agrandie : EtatFenetre::Normale;
}

void FenetreMain::setEtatFenetre(int etat)
{
    if (etat == EtatFenetre::Minimisee)
        showMinimized();
    else if (etat == EtatFenetre::Agrandie)
        showMaximized();
    else
        showNormal();
}

void FenetreMain::prendreFocus()
{
    raise();
    activateWindow();
}

QSize FenetreMain::tailleEcran() const
{
    const QScreen *ecran = screen() ? screen() : QGuiApplication::primaryScreen();
    return ecran ? ecran->size() : QSize(1920, 1080);
}

void FenetreMain::curseurAttente(bool attente)
{
    if (attente == mSablier)
        return;
    mSablier = attente;
    if (attente)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool FenetreMain::ouvrirEditeur(const QString &chemin)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(chemin));
}

void FenetreMain::quitter(int code)
{
    if (mQuitter)
        mQuitter(code);
}

void FenetreMain::changeEvent(QEvent *evenement)
{
    QWidget::changeEvent(evenement);
    // Out of the event handler: the first activation connects, and waits meanwhile.
    if (evenement->type() == QEvent::ActivationChange && isActiveWindow() && mLogique)
        QMetaObject::invokeMethod(this, [this] { if (mLogique) mLogique->Form_Activate(); }, Qt::QueuedConnection);
}

void FenetreMain::closeEvent(QCloseEvent *evenement)
{
    // The close box; the shutdown ends the program itself when it goes on.
    if (mLogique && mLogique->Form_QueryUnload(evenement->spontaneous() ? FMain::FermetureParLaCase : FMain::FermetureParLeProgramme))
        evenement->ignore();
    else
        evenement->accept();
}
