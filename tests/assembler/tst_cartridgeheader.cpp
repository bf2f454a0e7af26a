#include "cartridgeheader.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

using Tarnwick::Bytes;
using Tarnwick::CartridgeHeader;
using Fault = Tarnwick::CartridgeHeader::Fault;

Q_DECLARE_METATYPE(Fault)

namespace {

Bytes bytes(const QByteArray &array)
{
    return Bytes(array.begin(), array.end());
}

QByteArray array(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

constexpr int HeaderSize = 0xC0;

// "b <target>" at offset 0, for a target counted from the start of the image.
QByteArray branchTo(int target, quint8 opcode = 0xEA)
{
    const quint32 offset = quint32((target - 8) / 4) & 0x00FFFFFF;
    QByteArray word(4, '\0');
    word[0] = char(offset & 0xFF);
    word[1] = char((offset >> 8) & 0xFF);
    word[2] = char((offset >> 16) & 0xFF);
    word[3] = char(opcode);
    return word;
}

QByteArray image(const QByteArray &header, int codeBytes = 8, int branchTarget = HeaderSize)
{
    QByteArray bytes = branchTo(branchTarget) + header;
    bytes.resize(HeaderSize, '\0');
    bytes.append(QByteArray(codeBytes, char(0xE1)));
    return bytes;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

// Stands in for the logo, which no test has.
const QByteArray TestLogo = randomBytes(0x9C, 7);

CartridgeHeader::Digest digestOf(const QByteArray &bytes)
{
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    CartridgeHeader::Digest result;
    std::copy(digest.begin(), digest.end(), result.begin());
    return result;
}

bool checksumHolds(const QByteArray &bytes)
{
    unsigned sum = 0x19;
    for (int i = 0xA0; i <= 0xBD; ++i)
        sum += quint8(bytes.at(i));
    return (sum & 0xFF) == 0;
}

} // namespace

class TestCartridgeHeader : public QObject
{
    Q_OBJECT

private slots:
    void completion_data();
    void completion();
    void refusal_data();
    void refusal();
    void logoCheck_data();
    void logoCheck();
    void title_data();
    void title();
};

void TestCartridgeHeader::completion_data()
{
    QTest::addColumn<QByteArray>("original");

    QTest::newRow("blank header gets the fixed byte and a matching checksum") << image({});

    QByteArray titled(0xBC, '\0');
    titled.replace(0xA0 - 4, 16, "TARNWICKDEMOAXYZ");
    titled[0xB0 - 4] = '0';
    titled[0xB1 - 4] = '1';
    QTest::newRow("title, game and maker codes are counted in the checksum") << image(titled);

    QTest::newRow("all-0xFF header: the sum wraps past 256") << image(QByteArray(0xBC, char(0xFF)));

    QByteArray stale(0xBC, '\0');
    stale[0xB2 - 4] = char(0x12);
    stale[0xBD - 4] = char(0x77);
    QTest::newRow("wrong fixed byte and stale checksum are replaced") << image(stale);

    for (quint32 seed : { 1u, 2u, 3u }) {
        QTest::addRow("random header contents (seed %u) keep the invariant", seed)
            << image(randomBytes(0xBC, seed), 64);
    }

    QTest::newRow("branch-with-link past the header is accepted as the first instruction")
        << QByteArray(image({}).replace(3, 1, "\xEB"));

    QTest::newRow("branch to the last word of the image is accepted") << image({}, 4, HeaderSize);

    QByteArray lastLogoByte(0xBC, '\0');
    lastLogoByte[0x9B] = '\1';
    QTest::newRow("one byte of the source's at the logo area's end: the area is the source's")
        << image(lastLogoByte);
}

void TestCartridgeHeader::completion()
{
    QFETCH(QByteArray, original);

    Bytes completedBytes = bytes(original);
    QCOMPARE(CartridgeHeader::complete(completedBytes), Fault::None);
    const QByteArray completed = array(completedBytes);

    QCOMPARE(completed.size(), original.size());
    QCOMPARE(quint8(completed.at(0xB2)), quint8(0x96));
    QVERIFY2(checksumHolds(completed), "0x19 + sum(0xA0..0xBD) is not 0 modulo 256");
    // Logo, title, codes and program are the source's business.
    for (int i = 0; i < completed.size(); ++i) {
        if (i != 0xB2 && i != 0xBD && completed.at(i) != original.at(i))
            QFAIL(qPrintable(QStringLiteral("byte 0x%1 was changed").arg(i, 0, 16)));
    }

    // With a logo at hand: a blank logo area gets it, one with bytes of the source's stays.
    Bytes withLogo = bytes(original);
    QCOMPARE(CartridgeHeader::complete(withLogo, bytes(TestLogo)), Fault::None);
    const QByteArray area = original.mid(4, 0x9C);
    QCOMPARE(array(withLogo).mid(4, 0x9C), area.count('\0') == area.size() ? TestLogo : area);
    QVERIFY(checksumHolds(array(withLogo)));
    QCOMPARE(array(withLogo).mid(0xA0), completed.mid(0xA0));
}

void TestCartridgeHeader::refusal_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<Fault>("reason");

    const Fault tooShort = Fault::TooShort;
    const Fault noBranch = Fault::NoBranchPastHeader;

    QTest::newRow("empty image") << QByteArray() << tooShort;
    QTest::newRow("one byte short of the header") << image({}).left(HeaderSize - 1) << tooShort;
    QTest::newRow("code instead of a branch: patching would corrupt it")
        << QByteArray(HeaderSize + 8, char(0xE1)) << noBranch;
    QTest::newRow("branch into the header")
        << QByteArray(branchTo(0x80) + QByteArray(HeaderSize + 4, '\0')) << noBranch;
    QTest::newRow("conditional branch (beq) may not be taken")
        << QByteArray(branchTo(HeaderSize, 0x0A) + QByteArray(HeaderSize + 4, '\0')) << noBranch;
    QTest::newRow("branch past the end of the image") << image({}, 4, HeaderSize + 4) << noBranch;
    QTest::newRow("larger than the 32 MiB cartridge space")
        << image({}, CartridgeHeader::MaxImageSize) << Fault::TooLarge;
}

void TestCartridgeHeader::refusal()
{
    QFETCH(QByteArray, original);
    QFETCH(Fault, reason);

    Bytes refused = bytes(original);
    QCOMPARE(CartridgeHeader::complete(refused), reason);
    QVERIFY(array(refused) == original);
}

void TestCartridgeHeader::logoCheck_data()
{
    QTest::addColumn<QByteArray>("candidate");
    QTest::addColumn<QByteArray>("digested");
    QTest::addColumn<bool>("accepted");

    QByteArray changed = TestLogo;
    changed[0x40] = char(changed[0x40] ^ 1);
    QTest::newRow("the bytes whose digest is given are the logo") << TestLogo << TestLogo << true;
    QTest::newRow("other bytes are not") << changed << TestLogo << false;
    QTest::newRow("a short area is not, even with its own digest")
        << TestLogo.left(0x9B) << TestLogo.left(0x9B) << false;
    QTest::newRow("a long area is not, even with its own digest")
        << TestLogo + '\0' << TestLogo + '\0' << false;
}

void TestCartridgeHeader::logoCheck()
{
    QFETCH(QByteArray, candidate);
    QFETCH(QByteArray, digested);
    QFETCH(bool, accepted);

    QCOMPARE(CartridgeHeader::isLogo(bytes(candidate), digestOf(digested)), accepted);
}

void TestCartridgeHeader::title_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("title");

    QTest::newRow("base name in upper case")
        << QStringLiteral("out/demo.gba") << QByteArray("DEMO");
    QTest::newRow("only the last extension goes")
        << QStringLiteral("a.b/v1.2.gba") << QByteArray("V1.2");
    QTest::newRow("cut to 12 characters")
        << QStringLiteral("/tmp/Handheld Adventure.gba") << QByteArray("HANDHELD ADV");
    QTest::newRow("characters outside ASCII are left out")
        << QStringLiteral("caf\u00e9-\u00fcber.gba") << QByteArray("CAF-BER");
    QTest::newRow("a name that is all extension keeps its dot")
        << QStringLiteral(".gba") << QByteArray(".GBA");
}

void TestCartridgeHeader::title()
{
    QFETCH(QString, output);
    QFETCH(QByteArray, title);
    Bytes header(HeaderSize, 0xFF);

    CartridgeHeader::setTitle(header, CartridgeHeader::titleFor(output.toStdString()));

    QCOMPARE(array(header).mid(0xA0, 12), title.leftJustified(12, '\0'));
    QCOMPARE(array(header).left(0xA0), QByteArray(0xA0, char(0xFF)));
    QCOMPARE(array(header).mid(0xAC), QByteArray(HeaderSize - 0xAC, char(0xFF)));
}

QTEST_APPLESS_MAIN(TestCartridgeHeader)
#include "tst_cartridgeheader.moc"
