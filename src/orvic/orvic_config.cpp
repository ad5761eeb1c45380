// Exported routines that save the BMC's configuration into a file and load a file back.
//
// The file is the operator's data. A download goes to a temporary file beside the target,
// which replaces the target only once every piece arrived whole and the BMC ended the
// transfer; an upload reads the file whole before the BMC is asked anything.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dmifru_util.h"
#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "progress.h"
#include "smipmi.h"
#include "varkolt/bmc.h"
#include "vkt_sleep.h"
#include "whole_file.h"

using vkt::reportedFailure;

namespace {

// The BMC prepares a download in the background; it is asked this often, a second apart.
constexpr int preparePolls = 29;
constexpr int pollPauseMs = 1000;
constexpr int fileTypeMax = 0xFF;

constexpr const char* openFailed = "Failed to open new file.\n";
constexpr const char* fileMissing = "Couldn't find IPMI configuration file.\n";
// Far more than any BMC keeps as its configuration; the file is held in memory while sent.
constexpr size_t maxUploadSize = 16u << 20;

// A file written beside its target and put in its place only when complete. Whatever
// happens before commit(), the target keeps its earlier content.
class ReplacementFile {
public:
    explicit ReplacementFile(const char* target) : target_(target) {}
    ~ReplacementFile() { discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool open() {
        // A new file gets the mode fopen would give it; a replaced file of our own keeps its
        // own. The content names the BMC's users: a file or link someone else left at the
        // name lends it nothing, and is replaced, never written through.
        struct stat existing {};
        const bool replacing = lstat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
                               existing.st_uid == geteuid();
        const mode_t mode = replacing ? (existing.st_mode & 07777) : 0666;
        for (unsigned attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = target_ + ".part-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) {
            temp_.clear();
            return false;
        }
        if (replacing && fchmod(fd_, mode) != 0) return false;
        return true;
    }

    bool write(const BYTE* data, size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, data, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }

    // Makes the content durable before it may replace anything.
    bool close() {
        const bool synced = fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return synced && closed;
    }

    bool commit() {
        if (temp_.empty() || rename(temp_.c_str(), target_.c_str()) != 0) return false;
        temp_.clear();
        return true;
    }

private:
    void discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!temp_.empty()) unlink(temp_.c_str());
        temp_.clear();
    }

    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

// Polls until the BMC has the file ready. 0 with the size, or 11 after the message.
int waitForDownload(const BYTE* handle, DWORD* size) {
    for (int poll = 1; poll <= preparePolls; ++poll) {
        bool ready = false, sizeKnown = false;
        prepareFileDownloadDone(handle, &ready, size, &sizeKnown);
        if (ready) {
            if (sizeKnown) return VKT_BMC_OK;
            fputs("Prepare download file failed: the BMC did not report the file size.\n", stderr);
            return VKT_BMC_COMMAND_FAILED;
        }
        if (poll < preparePolls) {
            vkt_sleep(pollPauseMs);
            vkt::reportProgress(VKT_PROGRESS_CONFIG_PREPARE, poll, preparePolls - 1);
        }
    }
    fputs("Prepare download file timeout\n", stderr);
    return VKT_BMC_COMMAND_FAILED;
}

// Copies the prepared file into `out` piece by piece; a piece must arrive whole.
int receiveFile(const BYTE* handle, DWORD size, ReplacementFile& out) {
    for (DWORD offset = 0; offset < size;) {
        const DWORD rest = size - offset;
        const BYTE count = static_cast<BYTE>(rest < vkt::transferPieceSize ? rest : vkt::transferPieceSize);
        BYTE piece[vkt::transferPieceSize] = {};
        DWORD received = 0;
        if (reportedFailure(fileDownload(handle, offset, count, piece, &received), "Download file failed, %s"))
            return VKT_BMC_COMMAND_FAILED;
        if (received < count) {
            fprintf(stderr, "Download file failed, the BMC sent %u of %u bytes at offset %lu.\n",
                    static_cast<unsigned>(received), static_cast<unsigned>(count), static_cast<unsigned long>(offset));
            return VKT_BMC_COMMAND_FAILED;
        }
        if (!out.write(piece, count)) {
            fputs(openFailed, stderr);
            return VKT_BMC_COMMAND_FAILED;
        }
        offset += count;
        vkt::reportProgress(VKT_PROGRESS_CONFIG_DOWNLOAD, static_cast<long>(offset), static_cast<long>(size));
    }
    return VKT_BMC_OK;
}

int download(const char* path, short fileType) {
    // A type that does not fit its byte would ask the BMC for another file.
    if (fileType < 0 || fileType > fileTypeMax) {
        fprintf(stderr, "Not a valid configuration file type (0 to %d).\n", fileTypeMax);
        return VKT_BMC_BAD_ARGUMENT;
    }
    if (path == nullptr || path[0] == '\0') {  // nowhere to save: do not make the BMC prepare anything
        fputs(openFailed, stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (reportedFailure(getBIOSNVUpdateStatus(), "Firmware doesn't support IPMI configuration download feature, %s"))
        return VKT_BMC_ABSENT;
    BYTE handle[2] = {};
    if (reportedFailure(prepareFileDownload(static_cast<BYTE>(fileType), handle), "Failed to get reservation ID, %s"))
        return VKT_BMC_COMMAND_FAILED;
    DWORD size = 0;
    if (int rc = waitForDownload(handle, &size)) return rc;

    ReplacementFile out(path);
    if (!out.open()) {
        fputs(openFailed, stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (int rc = receiveFile(handle, size, out)) return rc;
    if (!out.close()) {
        fputs(openFailed, stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (reportedFailure(fileDownloadDone(handle), "Failed to apply file, %s")) return VKT_BMC_COMMAND_FAILED;
    if (!out.commit()) {
        fputs(openFailed, stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    puts("Download file successfully");
    return VKT_BMC_OK;
}

// Sends the file in pieces from the content read at the start.
int sendFile(const std::vector<BYTE>& content, const BYTE* reservation) {
    const DWORD size = static_cast<DWORD>(content.size());
    for (DWORD offset = 0; offset < size;) {
        const DWORD rest = size - offset;
        const BYTE count = static_cast<BYTE>(rest < vkt::transferPieceSize ? rest : vkt::transferPieceSize);
        if (reportedFailure(fileUpload(reservation, offset, content.data() + offset, count), "Upload file failed, %s"))
            return VKT_BMC_COMMAND_FAILED;
        offset += count;
        vkt::reportProgress(VKT_PROGRESS_CONFIG_UPLOAD, static_cast<long>(offset), static_cast<long>(size));
    }
    return VKT_BMC_OK;
}

// The BMC applies what it received and restarts with it: the file is read whole before the
// BMC is asked anything, and an empty file or one that does not read as its size is
// refused with nothing sent.
int readConfiguration(const char* path, std::vector<BYTE>& content) {
    switch (vkt::readWholeFile(path, maxUploadSize, content)) {
        case vkt::FileLoad::ok:
            break;
        case vkt::FileLoad::cannotOpen:
        case vkt::FileLoad::notRegular:
            fputs(fileMissing, stderr);
            return VKT_BMC_COMMAND_FAILED;
        case vkt::FileLoad::tooLarge:
            fputs("The IPMI configuration file is too large.\n", stderr);
            return VKT_BMC_COMMAND_FAILED;
        case vkt::FileLoad::notWhole:
            fputs("Couldn't read the IPMI configuration file whole at the size its file system reports; "
                  "nothing was sent.\n", stderr);
            return VKT_BMC_COMMAND_FAILED;
    }
    if (content.empty()) {
        fputs("The IPMI configuration file is empty; nothing was sent.\n", stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    return VKT_BMC_OK;
}

int upload(const char* path, BYTE fileType) {
    std::vector<BYTE> content;
    if (int rc = readConfiguration(path, content)) return rc;
    if (reportedFailure(getBIOSNVUpdateStatus(), "Firmware doesn't support IPMI configuration upload feature, %s"))
        return VKT_BMC_ABSENT;
    BYTE reservation[2] = {};
    if (reportedFailure(getUploadResvID(reservation), "Failed to get reservation ID, %s")) return VKT_BMC_COMMAND_FAILED;
    if (reportedFailure(startFileUpload(reservation, static_cast<DWORD>(content.size())),
                        "Failed to start configuration file upload, %s"))
        return VKT_BMC_COMMAND_FAILED;
    if (int rc = sendFile(content, reservation)) return rc;
    if (reportedFailure(applyFile(reservation, fileType), "Failed to apply file, %s")) return VKT_BMC_COMMAND_FAILED;
    puts("Upload file successfully");
    puts("Please wait for 1 minute to reboot BMC.");
    return VKT_BMC_OK;
}

}  // namespace

int bmc_ConfigurationDownload(const char* path, short fileType) {
    return vkt::entryBarrier(__func__, [&] { return download(path, fileType); });
}

int bmc_ConfigurationUpload(const char* path, unsigned char fileType) {
    return vkt::entryBarrier(__func__, [&] { return upload(path, fileType); });
}
