#include "core/Mp3Info.h"
mp3info Mp3Info;
void ReadMp3Info(const QString&, mp3info& info) {
    info = mp3info{};
}
