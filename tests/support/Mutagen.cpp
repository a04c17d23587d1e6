#include "support/Mutagen.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtDebug>

namespace mutagen {

namespace {

// mutagen, the independent reader: it makes the fixture tags (and the frames it cannot write,
// by hand) and reads back what Morwick rendered.
const char* const kPeer = R"PY(
import json, sys
from mutagen.id3 import (ID3, ID3NoHeaderError, TIT2, TPE1, TALB, TYER, TDAT, TDRC, TRCK, TCON, COMM,
                         APIC, USLT, TXXX, UFID, PRIV)

PICTURE = bytes(range(256)) * 4  # every byte value: 0xFF before 0x00 and before 0xE0..0xFF

def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])

def unsynchronise(b):
    out = bytearray()
    for i, c in enumerate(b):
        out.append(c)
        if c == 0xFF and (i + 1 == len(b) or b[i + 1] == 0 or b[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)

def make(shape, path, title):
    audio = open(path, 'rb').read()
    if shape == 'none':
        return
    if shape == 'v22':
        def f(fid, data):
            return fid + len(data).to_bytes(3, 'big') + data
        frames = (f(b'TT2', b'\x00' + title.encode('latin-1')) + f(b'TP1', b'\x00Old Artist')
                  + f(b'TAL', b'\x00Old Album') + f(b'TYE', b'\x002001') + f(b'TRK', b'\x003/12')
                  + f(b'TCO', b'\x00(17)') + f(b'COM', b'\x00eng\x00old comment')
                  + f(b'PIC', b'\x00PNG\x03cover\x00' + PICTURE)
                  + f(b'TXX', b'\x00REPLAYGAIN_TRACK_GAIN\x00-6.50 dB'))
        open(path, 'wb').write(b'ID3\x02\x00\x00' + synchsafe(len(frames)) + frames + audio)
        return
    version = 3 if shape.startswith('v23') else 4
    enc = 1 if version == 3 else 3
    t = ID3()
    t.add(TIT2(encoding=enc, text=title))
    t.add(TPE1(encoding=enc, text='Old Artist'))
    t.add(TALB(encoding=enc, text='Old Album'))
    if version == 3:
        t.add(TYER(encoding=0, text='2001'))
        t.add(TDAT(encoding=0, text='0605'))
    else:
        t.add(TDRC(encoding=3, text='2001-05-06'))
    t.add(TRCK(encoding=0, text='3/12'))
    t.add(TCON(encoding=0, text='(17)'))
    t.add(COMM(encoding=0, lang='XXX', desc='', text='old comment'))
    t.add(COMM(encoding=0, lang='eng', desc='iTunNORM', text=' 00000A3C 00000B12'))
    t.add(APIC(encoding=enc, mime='image/png', type=3, desc='cover', data=PICTURE))
    t.add(USLT(encoding=enc, lang='eng', desc='', text='la la la\nla la'))
    t.add(TXXX(encoding=enc, desc='REPLAYGAIN_TRACK_GAIN', text='-6.50 dB'))
    t.add(UFID(owner='http://musicbrainz.org', data=b'0b4c0a52-1d0e'))
    t.add(PRIV(owner='WM/MediaClassPrimaryID', data=b'\xff\x00\xfe\xe0'))
    padding = 4096 if shape.endswith('room') else 0
    t.save(path, v2_version=version, padding=lambda info: padding)
    data = open(path, 'rb').read()
    size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
    flags, body = data[5], data[10:10 + size]
    # A frame no reader knows, by hand.
    unknown = b'\x00\x01unknown\xff\xe0'
    unknown_size = synchsafe(len(unknown)) if version == 4 else len(unknown).to_bytes(4, 'big')
    body = b'XYZW' + unknown_size + b'\x00\x00' + unknown + body
    if version == 4:
        # A frame unsynchronised on its own, with its data length: flags TagLib does not write.
        private = b'Morwick/flagged\x00\xff\xe0\xff\x00'
        encoded = unsynchronise(private)
        body = b'PRIV' + synchsafe(4 + len(encoded)) + b'\x00\x03' + synchsafe(len(private)) + encoded + body
    if shape == 'v24-unsync':
        # Every frame unsynchronised on its own, and the header saying so for the whole tag.
        frames, rest = b'', body
        while len(rest) > 10 and rest[0] != 0:
            length = (rest[4] << 21) | (rest[5] << 14) | (rest[6] << 7) | rest[7]
            if rest[9] & 0x02:
                frames += rest[:10 + length]
            else:
                encoded = unsynchronise(rest[10:10 + length])
                frames += rest[:4] + synchsafe(len(encoded)) + bytes([rest[8], rest[9] | 0x02]) + encoded
            rest = rest[10 + length:]
        body, flags = frames + rest, flags | 0x80
    if shape == 'v23-unsync':
        body, flags = unsynchronise(body), flags | 0x80
    if shape == 'v23-extended':
        body, flags = b'\x00\x00\x00\x06\x00\x00' + padding.to_bytes(4, 'big') + body, flags | 0x40
    header = b'ID3' + bytes([version, 0]) + bytes([flags | (0x10 if shape == 'v24-footer' else 0)])
    header += synchsafe(len(body))
    footer = b'3DI' + header[3:] if shape == 'v24-footer' else b''
    open(path, 'wb').write(header + body + footer + data[10 + size:])

def dump(path):
    try:
        t = ID3(path, translate=False, load_v1=False)
    except ID3NoHeaderError:
        return None
    texts = {fid: '/'.join(str(x) for x in t[fid].text)
             for fid in ['TIT2', 'TPE1', 'TALB', 'TYER', 'TDRC', 'TRCK', 'TCON'] if fid in t}
    return {'version': t.version[1], 'texts': texts,
            'comments': [[c.lang, '/'.join(c.text)] for c in t.getall('COMM') if c.desc == ''],
            'frames': {k: repr(v) for k, v in t.items()},
            'converted': {k: repr(v) for k, v in ID3(path, load_v1=False).items()},
            'unknown': sorted(f.hex() for f in t.unknown_frames)}

if sys.argv[1] == 'make':
    make(sys.argv[2], sys.argv[3], sys.argv[4])
else:
    print(json.dumps(dump(sys.argv[2])))
)PY";

} // namespace

const QString kPython = QStringLiteral("/usr/bin/python3");

bool Available() {
    return QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import mutagen.id3")}) == 0;
}

QByteArray runPeer(const QStringList& args) {
    QProcess python;
    python.start(kPython, QStringList{QStringLiteral("-c"), QString::fromUtf8(kPeer)} + args);
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0)
        qWarning().noquote() << "mutagen failed:" << python.readAllStandardError();
    return python.readAllStandardOutput();
}

QVariantMap dumpTag(const QString& path) {
    return QJsonDocument::fromJson(runPeer({QStringLiteral("dump"), path})).object().toVariantMap();
}

Id3FieldMask maskOf(const QString& letters) {
    const auto has = [&](char c) { return letters.contains(QLatin1Char(c)); };
    return {has('t'), has('a'), has('l'), has('y'), has('c'), has('n'), has('g')};
}

// The frame keys (mutagen's) that the marked fields write: these are compared by text, every
// other frame must come through unchanged.
bool isWritten(const QString& key, const Id3FieldMask& mask) {
    return (mask.title && key == u"TIT2") || (mask.artist && key == u"TPE1") ||
           (mask.album && key == u"TALB") || (mask.year && (key == u"TYER" || key == u"TDRC")) ||
           (mask.track && key == u"TRCK") || (mask.genre && key == u"TCON") ||
           (mask.comment && key.startsWith(u"COMM::"));
}

} // namespace mutagen
