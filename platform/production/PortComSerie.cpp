#include "platform/production/PortComSerie.h"

#include <QFileInfo>

#include <linux/serial.h>
#include <sys/ioctl.h>

PortComSerie::PortComSerie(QString nomPort, QString peripherique)
    : PortComQt(std::move(nomPort)), mPeripherique(std::move(peripherique))
{
    mSerie.setPortName(mPeripherique);
    brancher(&mSerie);
    QObject::connect(&mGuet, &QTimer::timeout, &mContexte, [this] { guetterPorteuse(); });
    QObject::connect(&mSerie, &QSerialPort::errorOccurred, &mContexte, [this](QSerialPort::SerialPortError e) {
        // Open failures are reported by Ouvrir; pin-signal refusals on pseudo-terminals are harmless.
        if (e == QSerialPort::NoError || e == QSerialPort::UnsupportedOperationError || !mSerie.isOpen())
            return;
        if (e == QSerialPort::ResourceError) {
            signalerErreur(QStringLiteral("Le périphérique %1 a disparu ou ne répond plus.").arg(mPeripherique), int(e));
            mSerie.close();
            setActif(false);
            return;
        }
        signalerErreur(QStringLiteral("Erreur sur %1 : %2").arg(mPeripherique, mSerie.errorString()), int(e));
    });
}

PortComSerie::~PortComSerie()
{
    mGuet.stop();
    mSerie.close();
}

// DCD, read a few times a second. A modem set to tell the carrier on it (&C1) holds it low in
// command mode, raises it at CONNECT and drops it at the loss. One that keeps it high (&C0), a
// cable without the pin, or a pseudo-terminal, never shows a rise: the modem's words decide.
void PortComSerie::guetterPorteuse()
{
    if (!mSerie.isOpen())
        return;
    const QSerialPort::PinoutSignals signaux = mSerie.pinoutSignals();
    if (mSerie.error() == QSerialPort::UnsupportedOperationError) {
        mSerie.clearError();
        mGuet.stop();
        return;
    }
    const bool dcd = signaux & QSerialPort::DataCarrierDetectSignal;
    if (dcd && mDcd == false)
        mPorteuseSignalee = true;
    const bool tombee = !dcd && mDcd == true && mPorteuseSignalee;
    mDcd = dcd;
    if (tombee)
        porteuseTombee();
}

void PortComSerie::Fermer()
{
    // The last command (a modem reset) must leave before the port closes.
    if (mSerie.isOpen() && mSerie.bytesToWrite() > 0)
        mSerie.waitForBytesWritten(200);
    mGuet.stop();
    PortComQt::Fermer();
}

bool PortComSerie::Ouvrir(QString *raison)
{
    if (!verifierReglages(raison))
        return false;
    if (mSerie.isOpen())
        mSerie.close();
    if (!mSerie.open(QIODevice::ReadWrite)) {
        switch (mSerie.error()) {
        case QSerialPort::DeviceNotFoundError:
            refuser(raison, QStringLiteral("Le port %1 n'existe pas (périphérique %2 introuvable).").arg(NomPort(), mPeripherique));
            break;
        case QSerialPort::PermissionError:
            refuser(raison, QStringLiteral("Accès refusé au port %1 (%2) : il est déjà utilisé par un autre programme, "
                                          "ou les droits manquent (groupe dialout).")
                               .arg(NomPort(), mPeripherique));
            break;
        default:
            refuser(raison, QStringLiteral("Ouverture du port %1 (%2) impossible : %3").arg(NomPort(), mPeripherique, mSerie.errorString()));
        }
        return false;
    }
    static const QMap<QString, QSerialPort::Parity> parites{{"N", QSerialPort::NoParity},
                                                            {"E", QSerialPort::EvenParity},
                                                            {"O", QSerialPort::OddParity},
                                                            {"M", QSerialPort::MarkParity},
                                                            {"S", QSerialPort::SpaceParity}};
    const bool reglagesAcceptes = mSerie.setBaudRate(mBauds) && mSerie.setParity(parites.value(lettreParite()))
        && mSerie.setDataBits(QSerialPort::DataBits(mBitsDonnees))
        && mSerie.setStopBits(mBitsStop == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && mSerie.setFlowControl(QSerialPort::NoFlowControl);
    if (!reglagesAcceptes) {
        refuser(raison, QStringLiteral("Le port %1 refuse les réglages %2 bauds, parité %3, %4 bits, %5 bit(s) d'arrêt.")
                           .arg(NomPort())
                           .arg(mBauds)
                           .arg(lettreParite())
                           .arg(mBitsDonnees)
                           .arg(mBitsStop));
        mSerie.close();
        return false;
    }
    mSerie.setDataTerminalReady(true);
    mDcd.reset();
    mPorteuseSignalee = false;
    mGuet.start(guetPorteuseMs);
    reduireLatence();
    // Bytes written while nobody had the port open would otherwise arrive now.
    mSerie.clear(QSerialPort::Input);
    mSerie.clearError();
    return true;
}

void PortComSerie::reduireLatence()
{
    // USB adapters hold received bytes up to 16 ms by default: that alone costs a quarter of
    // the throughput of a protocol that waits for every answer. Drivers without it refuse.
    serial_struct serie{};
    const int fd = int(mSerie.handle());
    if (fd >= 0 && ioctl(fd, TIOCGSERIAL, &serie) == 0) {
        serie.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serie);
    }
}
