#include "platform/production/PlateformeQt.h"

#include "platform/production/MinuterieQt.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <ctime>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

PlateformeQt::PlateformeQt()
{
    mDepart.start();
    mReveil.setSingleShot(true);
    mReveil.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mReveil, &QTimer::timeout, &mContexte, [this] { executerEcheants(); });
#ifdef Q_OS_LINUX
    mHorloge = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (mHorloge >= 0) {
        mHorlogePrete = std::make_unique<QSocketNotifier>(mHorloge, QSocketNotifier::Read);
        QObject::connect(mHorlogePrete.get(), &QSocketNotifier::activated, &mContexte, [this] {
            quint64 expirations = 0;
            [[maybe_unused]] const ssize_t lus = ::read(mHorloge, &expirations, sizeof expirations);
            executerEcheants();
        });
    }
#endif
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    mTickDepart = quint32(quint64(ts.tv_sec) * 1000 + quint64(ts.tv_nsec) / 1'000'000);
}

quint32 PlateformeQt::tickMs() const
{
    return mTickDepart + quint32(quint64(mDepart.elapsed()));
}

QDateTime PlateformeQt::maintenant() const
{
    return QDateTime::currentDateTime();
}

bool PlateformeQt::reglerDateHeure(const QDateTime &dateHeure, QString *erreur)
{
    if (!dateHeure.isValid()) {
        if (erreur)
            *erreur = QStringLiteral("Réglage de l'horloge impossible : date et heure invalides.");
        return false;
    }
    const qint64 ms = dateHeure.toMSecsSinceEpoch();
    timespec ts{};
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long(ms % 1000) * 1'000'000;
    if (clock_settime(CLOCK_REALTIME, &ts) == 0)
        return true;
    if (erreur) {
        const int numero = errno;
        *erreur = numero == EPERM
            ? QStringLiteral("Réglage de l'horloge refusé : le programme n'a pas le droit de changer "
                             "l'heure du système (privilège CAP_SYS_TIME).")
            : QStringLiteral("Réglage de l'horloge impossible : %1").arg(QString::fromLocal8Bit(std::strerror(numero)));
    }
    return false;
}

std::unique_ptr<Minuterie> PlateformeQt::creerMinuterie()
{
    return std::make_unique<MinuterieQt>();
}

void PlateformeQt::pomper(quint32 attenteMaxMs)
{
    if (attenteMaxMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Block in the event loop rather than spin: the single-shot timer bounds the wait, and
    // any arriving data or tick wakes it earlier.
    QTimer reveil;
    reveil.setTimerType(Qt::PreciseTimer);
    reveil.setSingleShot(true);
    reveil.start(int(std::min<quint32>(attenteMaxMs, 24u * 3600 * 1000)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

PlateformeQt::~PlateformeQt()
{
    // What the pending actions hold (a released driver) goes while this still stands: their
    // destructors may cancel actions of their own.
    auto file = std::move(mFile);
    mFile.clear();
    mEcheances.clear();
    file.clear();
#ifdef Q_OS_LINUX
    mHorlogePrete.reset();
    if (mHorloge >= 0)
        ::close(mHorloge);
#endif
}

qint64 PlateformeQt::maintenantUs() const
{
    return mDepart.nsecsElapsed() / 1000;
}

PlateformeQt::Identifiant PlateformeQt::planifierA(qint64 instantUs, std::function<void()> action)
{
    const Identifiant id = mProchainId++;
    const qint64 echeance = instantUs;
    mFile.emplace(std::pair{echeance, id}, std::move(action));
    mEcheances.emplace(id, echeance);
    rearmer();
    return id;
}

void PlateformeQt::annuler(Identifiant id)
{
    const auto it = mEcheances.find(id);
    if (it == mEcheances.end())
        return;
    mFile.erase(std::pair{it->second, id});
    mEcheances.erase(it);
    rearmer();
}

void PlateformeQt::rearmer()
{
    const bool vide = mFile.empty();
    const qint64 resteUs = vide ? 0 : std::clamp<qint64>(mFile.begin()->first.first - maintenantUs(), 0, 24LL * 3600 * 1'000'000);
#ifdef Q_OS_LINUX
    if (mHorloge >= 0) {
        // Relative, at least 1 ns: a zero value would disarm it.
        const qint64 ns = std::max<qint64>(1, resteUs * 1000);
        itimerspec echeance{};
        if (!vide)
            echeance.it_value = {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        if (timerfd_settime(mHorloge, 0, &echeance, nullptr) == 0)
            return;
    }
#endif
    if (vide) {
        mReveil.stop();
        return;
    }
    // Rounded up: an action never runs before its deadline.
    mReveil.start(int((resteUs + 999) / 1000));
}

void PlateformeQt::executerEcheants()
{
    // An action may add or cancel others: the queue is read again after each.
    while (!mFile.empty() && mFile.begin()->first.first <= maintenantUs()) {
        auto noeud = mFile.extract(mFile.begin());
        mEcheances.erase(noeud.key().second);
        noeud.mapped()();
    }
    rearmer();
}
