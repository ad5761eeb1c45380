// Loading new firmware into the chassis controller from an S-record file: the file check, the
// update-mode request, the handshake with the controller's loader and the record transfer.
#include <cstdio>
#include <cstring>

#include "bounded.h"
#include "generic_util.h"
#include "private_bus.h"
#include "progress.h"
#include "px_util.h"
#include "varkolt/bmc.h"
#include "whole_file.h"

BYTE enterToUpdateModeOffset = 0xFA;
int lineCount = 0;

namespace {

// Records of the file the last check accepted, end record included: the transfer's total.
long checkedRecords = 0;

// The loader's unlock code (sent to enter update mode and as the handshake) and its answer
// once it is ready for records.
constexpr BYTE unlockCode[4] = {0x5A, 0xA5, 0x3C, 0xC3};
constexpr BYTE ackCode[4] = {0xA5, 0x5A, 0xC3, 0x3C};

constexpr BYTE updateModeRegister = 0xFA;
constexpr BYTE updateModeRegisterV100 = 0xF5;  // firmware 1.00 listens here
constexpr BYTE version100[2] = {0x01, 0x00};
constexpr BYTE loaderBusy = 0x83;              // the loader does not answer on the bus yet
constexpr BYTE loaderReadCount = 4;

// Far more than the records of any controller's flash; the file is held in memory.
constexpr size_t maxFileSize = 16u << 20;
constexpr int lineBufferSize = 128;      // a line is read at most 127 characters at a time
constexpr size_t shortestRecordLine = 10;  // shorter lines (line end included) are not records
constexpr int handshakeAttempts = 12;
// A loader that keeps answering 83h never came up; the MCU stays in update mode and restarts.
constexpr int loaderBusyLimit = 100;
constexpr int recordAttempts = 5;
constexpr int handshakePauseMs = 500;
constexpr int retryPauseMs = 50;
constexpr int recordPauseMs = 5;
constexpr int finalWaitSeconds = 10;     // the loader finishes writing before the end record
constexpr int secondMs = 1000;

// "S", the type digit, then at most (127 - 2) / 2 bytes.
constexpr size_t maxRecordBytes = (lineBufferSize - 3) / 2;
constexpr size_t minRecordBytes = 4;  // count, two address bytes, checksum

struct SRecord {
    char type = 0;
    BYTE bytes[maxRecordBytes] = {};
    size_t count = 0;  // count byte, address, data and checksum
};

bool isShortLine(const char* line) { return strlen(line) < shortestRecordLine; }

// The record types the file may hold at this point: a header first, then data records up to
// the end record. Lines skipped as too short count as lines.
bool expectedType(char type, int linesSeen) { return linesSeen == 0 ? type == '0' : type == '1' || type == '9'; }

// One record line: "S", its type, hex digit pairs up to the line end. The pairs hold the count
// byte, the bytes it counts, and sum to FFh in their low byte. Whatever line end the file
// uses, the same bytes come out.
bool parseRecord(const char* line, SRecord* rec) {
    if (line[0] != 'S' || line[1] == '\0') return false;
    rec->type = line[1];
    size_t end = 2;
    while (line[end] != '\0' && line[end] != '\r' && line[end] != '\n') ++end;
    if ((end - 2) % 2 != 0) return false;
    rec->count = (end - 2) / 2;
    if (rec->count < minRecordBytes || rec->count > maxRecordBytes) return false;
    unsigned sum = 0;
    for (size_t i = 0; i < rec->count; ++i) {
        const int high = vkt::hexDigit(line[2 + 2 * i]);
        const int low = vkt::hexDigit(line[3 + 2 * i]);
        if (high < 0 || low < 0) return false;
        rec->bytes[i] = static_cast<BYTE>(high << 4 | low);
        sum += rec->bytes[i];
    }
    return rec->bytes[0] == rec->count - 1 && (sum & 0xFF) == 0xFF;
}

// Reads the file's records in order under the rules of the check; both the check and the
// transfer read the file through it, so only what was checked can be sent.
class RecordReader {
public:
    // Only a regular file that reads whole at its size is opened (read into memory first).
    explicit RecordReader(const char* path) : file_(path, maxFileSize) {}

    bool opened() const { return file_.file() != nullptr; }
    void close() { file_.close(); }
    int linesSeen() const { return lines_; }

    enum class Next { record, end, bad };

    Next next(SRecord* rec) {
        char line[lineBufferSize];
        for (;;) {
            memset(line, 0, sizeof line);
            if (file_.file() == nullptr || fgets(line, sizeof line, file_.file()) == nullptr) return Next::end;
            if (!isShortLine(line)) break;
            ++lines_;
        }
        if (!parseRecord(line, rec) || !expectedType(rec->type, lines_)) return Next::bad;
        if (rec->type != '9') ++lines_;
        return Next::record;
    }

private:
    vkt::WholeFileStream file_;
    int lines_ = 0;
};

bool isAck(const BYTE (&reply)[4]) { return memcmp(reply, ackCode, sizeof ackCode) == 0; }

// Until the loader acknowledges: a loader still starting answers 83h and is asked again at
// once; another reply gets a pause and counts towards the attempts.
bool handshake() {
    int unanswered = 0;
    int busy = 0;
    for (;;) {
        BYTE reply[4] = {};
        const BYTE cc = sendHandShakeCommand(reply);
        if (cc == loaderBusy) {
            if (++busy >= loaderBusyLimit) return false;
            continue;
        }
        if (cc != vkt::ccSuccess) return false;
        if (isAck(reply)) return true;
        if (++unanswered >= handshakeAttempts) return false;
        vkt_sleep(handshakePauseMs);
    }
}

// The loader's message of a record: "S", the type digit, then the record's bytes through its
// checksum.
size_t loaderMessage(const SRecord& rec, BYTE* message) {
    message[0] = 'S';
    message[1] = static_cast<BYTE>(rec.type);
    memcpy(message + 2, rec.bytes, rec.count);
    return 2 + rec.count;
}

bool sendRecord(const BYTE* message, size_t length) {
    BYTE reply[loaderReadCount];
    for (int attempt = 1;; ++attempt) {
        if (sendPairexAAhCommand(loaderReadCount, message, static_cast<BYTE>(length), reply) == vkt::ccSuccess)
            return true;
        if (attempt >= recordAttempts) return false;
        vkt_sleep(retryPauseMs);
    }
}

// The transfer: every record of the file in order. The end record is sent once, after the
// loader has had time to finish, and ends the update whatever it answers.
int sendRecords(const char* path) {
    RecordReader reader(path);
    if (!reader.opened()) return 0;
    SRecord rec;
    BYTE message[2 + maxRecordBytes];
    long sent = 0;
    for (;;) {
        const RecordReader::Next next = reader.next(&rec);
        // The file changed or could not be read to its end record since it was checked.
        if (next != RecordReader::Next::record) return 0;
        const size_t length = loaderMessage(rec, message);
        if (rec.type == '9') {
            reader.close();
            for (int i = 0; i < finalWaitSeconds; ++i) {
                vkt_sleep(secondMs);
                vkt::reportProgress(VKT_PROGRESS_FIRMWARE_FINISH, i + 1, finalWaitSeconds);
            }
            BYTE reply[loaderReadCount];
            sendPairexAAhCommand(loaderReadCount, message, static_cast<BYTE>(length), reply);
            vkt::reportProgress(VKT_PROGRESS_FIRMWARE_RECORDS, sent + 1, checkedRecords);
            return 1;
        }
        if (!sendRecord(message, length)) return 0;
        vkt::reportProgress(VKT_PROGRESS_FIRMWARE_RECORDS, ++sent, checkedRecords);
        vkt_sleep(recordPauseMs);
    }
}

}  // namespace

int verifySRECFile(const char* path) {
    lineCount = 0;
    checkedRecords = 0;
    RecordReader reader(path);
    if (!reader.opened()) return 0;
    SRecord rec;
    int result = 0;
    for (;;) {
        const RecordReader::Next next = reader.next(&rec);
        lineCount = reader.linesSeen();
        if (next != RecordReader::Next::record) break;
        ++checkedRecords;
        if (rec.type == '9') {
            result = 1;
            break;
        }
    }
    return result;
}

BYTE sendPairexAAhCommand(BYTE readCount, const BYTE* data, BYTE length, BYTE* respBuf) {
    return vkt::mcuTransfer(vkt::mcuLoaderAddr, readCount, data, length, respBuf);
}

BYTE sendHandShakeCommand(BYTE* replyBuf) {
    BYTE reply[4] = {};
    const BYTE cc = sendPairexAAhCommand(sizeof reply, unlockCode, sizeof unlockCode, reply);
    if (cc == vkt::ccSuccess && replyBuf != nullptr) memcpy(replyBuf, reply, sizeof reply);
    return cc;
}

BYTE sendEnterToUpdateModeCommand() {
    BYTE request[1 + sizeof unlockCode] = {enterToUpdateModeOffset};
    memcpy(request + 1, unlockCode, sizeof unlockCode);
    return sendPairex80hCommand(0, request, sizeof request, nullptr);
}

int mcuUpdate(const char* path) {
    if (verifySRECFile(path) == 0) return 0;
    if (!isSupportPairexCommand()) return 0;
    BYTE version[2] = {};
    getMCUVersion(version);
    // Chosen on every update, so a controller updated away from 1.00 is asked at its new register.
    enterToUpdateModeOffset =
        memcmp(version, version100, sizeof version100) == 0 ? updateModeRegisterV100 : updateModeRegister;
    sendEnterToUpdateModeCommand();
    vkt_sleep(handshakePauseMs);
    if (!handshake()) return 0;
    return sendRecords(path);
}
