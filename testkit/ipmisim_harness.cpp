#include "ipmisim_harness.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "clock.h"
#include "fake_ipmi_device.h"

extern char** environ;

namespace testkit::ipmisim {

namespace {



std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool readFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return true;
}

bool writeFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.close();
    return out.good() && chmod(path.c_str(), mode) == 0;
}

std::string substitute(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values) {
        const std::string key = "@" + name + "@";
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

// A port the kernel just handed out on 127.0.0.1 (released again for the simulator).
uint16_t freePort(int type) {
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

int removeEntry(const char* path, const struct stat*, int, FTW*) { return ::remove(path); }

std::string hexLine(const Bytes& bytes) {
    std::string s;
    char b[8];
    for (uint8_t x : bytes) {
        snprintf(b, sizeof b, " 0x%02x", x);
        s += b;
    }
    return s;
}

// ---- FRU image --------------------------------------------------------------------------

constexpr uint8_t fruFormatVersion = 0x01;
constexpr uint8_t typeAscii8 = 0xC0;
constexpr uint8_t endOfFields = 0xC1;
constexpr uint8_t languageEnglish = 0x19;

void appendField(Bytes& area, const std::string& text) {
    size_t n = text.size() > 63 ? 63 : text.size();
    area.push_back(static_cast<uint8_t>(typeAscii8 | n));
    area.insert(area.end(), text.begin(), text.begin() + static_cast<long>(n));
}

// Closes an area: end marker, padding to 8 bytes with room for the checksum, the length
// in 8-byte units at byte 1, the checksum last.
void finishArea(Bytes& area) {
    area.push_back(endOfFields);
    while ((area.size() + 1) % 8 != 0) area.push_back(0x00);
    area[1] = static_cast<uint8_t>((area.size() + 1) / 8);
    area.push_back(vm::checksum(area));
}

std::string field(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() ? "" : it->second;
}

bool hasArea(const std::map<std::string, std::string>& f, const std::string& prefix) {
    for (const auto& kv : f)
        if (kv.first.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

// ---- programs ---------------------------------------------------------------------------

std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
    std::string dirs;
    if (const char* p = getenv("PATH")) dirs = p;
    // FreeIPMI installs into sbin, which an ordinary user's PATH often lacks.
    dirs += ":/usr/sbin:/sbin";
    std::stringstream ss(dirs);
    for (std::string dir; std::getline(ss, dir, ':');) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string ToolCheck::message() const {
    if (missing.empty()) return "";
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    return "not installed: " + names + " (Debian packages openipmi, ipmitool, freeipmi-tools)";
}

ToolCheck checkTools() {
    ToolCheck t;
    for (const char* p : {"ipmi_sim", "sdrcomp", "ipmitool", "ipmi-sensors", "ipmi-sel", "ipmi-fru", "ipmi-config"})
        if (findProgram(p).empty()) t.missing.push_back(p);
    return t;
}

ProcessResult runProgram(const std::vector<std::string>& argv, int timeoutMs, const std::vector<std::string>& extraEnv,
                         const std::string& inputPath) {
    ProcessResult r;
    for (const std::string& a : argv) r.command += (r.command.empty() ? "" : " ") + a;
    if (argv.empty()) return r;
    std::string path = findProgram(argv[0]);
    if (path.empty()) {
        r.err = argv[0] + ": not found";
        return r;
    }
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return r;
    if (pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return r;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& e : extraEnv) {
        std::string name = e.substr(0, e.find('=') + 1);
        for (auto it = env.begin(); it != env.end();)
            it = it->rfind(name, 0) == 0 ? env.erase(it) : it + 1;
        env.push_back(e);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int input = ::open(inputPath.empty() ? "/dev/null" : inputPath.c_str(), O_RDONLY);
        if (input >= 0) dup2(input, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execve(path.c_str(), args.data(), envp.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return r;
    }
    const long long deadline = nowMs() + timeoutMs;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        int n = poll(fds, 2, static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) ::close(p.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) && !r.timedOut ? WEXITSTATUS(status) : -1;
    return r;
}

// ---- scenario pieces --------------------------------------------------------------------

std::map<std::string, std::string> readKeyValues(const std::string& path, std::string* error) {
    std::map<std::string, std::string> values;
    std::string text;
    if (!readFile(path, &text)) {
        if (error != nullptr) *error = "cannot read " + path;
        return values;
    }
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        values[trim(t.substr(0, eq))] = trim(t.substr(eq + 1));
    }
    return values;
}

Bytes buildFruImage(const std::map<std::string, std::string>& f) {
    Bytes chassis, board, product;
    if (hasArea(f, "chassis.")) {
        chassis = {fruFormatVersion, 0, static_cast<uint8_t>(strtoul(field(f, "chassis.type").c_str(), nullptr, 0))};
        appendField(chassis, field(f, "chassis.part"));
        appendField(chassis, field(f, "chassis.serial"));
        finishArea(chassis);
    }
    if (hasArea(f, "board.")) {
        unsigned long minutes = strtoul(field(f, "board.mfg_minutes").c_str(), nullptr, 0);
        board = {fruFormatVersion, 0, languageEnglish, static_cast<uint8_t>(minutes), static_cast<uint8_t>(minutes >> 8),
                 static_cast<uint8_t>(minutes >> 16)};
        for (const char* k : {"board.manufacturer", "board.product", "board.serial", "board.part", "board.fru_file"})
            appendField(board, field(f, k));
        if (f.count("board.custom") != 0) appendField(board, field(f, "board.custom"));
        finishArea(board);
    }
    if (hasArea(f, "product.")) {
        product = {fruFormatVersion, 0, languageEnglish};
        for (const char* k : {"product.manufacturer", "product.name", "product.part", "product.version", "product.serial",
                              "product.asset", "product.fru_file"})
            appendField(product, field(f, k));
        if (f.count("product.custom") != 0) appendField(product, field(f, "product.custom"));
        finishArea(product);
    }
    Bytes image(8, 0);
    image[0] = fruFormatVersion;
    size_t offset = 8;
    auto place = [&](const Bytes& area, size_t headerIndex) {
        if (area.empty()) return;
        image[headerIndex] = static_cast<uint8_t>(offset / 8);
        image.insert(image.end(), area.begin(), area.end());
        offset += area.size();
    };
    place(chassis, 2);
    place(board, 3);
    place(product, 4);
    image[7] = vm::checksum(image, 0, 7);
    size_t size = strtoul(field(f, "size").c_str(), nullptr, 0);
    if (image.size() < size) image.resize(size, 0x00);
    return image;
}

std::vector<Bytes> splitSdrRecords(const Bytes& raw) {
    std::vector<Bytes> records;
    size_t at = 0;
    while (at + 5 <= raw.size()) {
        size_t length = 5 + raw[at + 4];
        if (at + length > raw.size()) break;
        records.emplace_back(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + length));
        at += length;
    }
    return records;
}

std::vector<Bytes> readSelEntries(const std::string& path, std::string* error) {
    std::vector<Bytes> entries;
    std::string text;
    if (!readFile(path, &text)) {
        if (error != nullptr) *error = "cannot read " + path;
        return entries;
    }
    std::stringstream ss(text);
    int lineNo = 0;
    for (std::string line; std::getline(ss, line);) {
        ++lineNo;
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        Bytes entry;
        std::stringstream ls(t);
        for (std::string word; ls >> word;) entry.push_back(static_cast<uint8_t>(strtoul(word.c_str(), nullptr, 16)));
        if (entry.size() != 16) {
            if (error != nullptr) *error = path + ":" + std::to_string(lineNo) + ": not 16 bytes";
            return {};
        }
        entries.push_back(entry);
    }
    return entries;
}

// ---- the simulator ----------------------------------------------------------------------

std::unique_ptr<Simulator> Simulator::start(const Options& options, std::string* error) {
    std::string why;
    // A port picked as free can be taken by someone else before the simulator binds it:
    // try again with new ports.
    // Test programs that run at the same time pick their ports one after the other, each
    // holding the lock until its simulator answers: two simulators given the same port would
    // leave the second program talking to the first one's simulator.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::unique_ptr<Simulator> sim(new Simulator());
        sim->keep_ = options.keepScratch;
        int lock = ::open("/tmp/vkt-ipmisim-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lock >= 0) flock(lock, LOCK_EX);
        const bool prepared = sim->prepare(options, &why);
        const bool launched = prepared && sim->launch(&why);
        if (lock >= 0) ::close(lock);
        if (!prepared) break;
        if (launched && sim->populate(options, &why)) return sim;
        why += "\n--- ipmi_sim output ---\n" + sim->log();
    }
    if (error != nullptr) *error = why;
    return nullptr;
}

Simulator::~Simulator() { stop(); }

bool Simulator::running() const { return pid_ > 0 && kill(pid_, 0) == 0; }

void Simulator::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const long long deadline = nowMs() + 2000;
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && nowMs() < deadline) pauseMs(10);
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (!scratch_.empty() && !keep_) nftw(scratch_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (!keep_) scratch_.clear();
}

std::string Simulator::log() const {
    std::string text;
    readFile(scratch_ + "/ipmi_sim.log", &text);
    return text;
}

std::vector<Bytes> Simulator::sdrRecords() const {
    std::string raw;
    readFile(scratch_ + "/sdr.bin", &raw);
    return splitSdrRecords(Bytes(raw.begin(), raw.end()));
}

Bytes Simulator::fruImage(int device) const {
    std::string raw;
    readFile(scratch_ + "/fru" + std::to_string(device) + ".bin", &raw);
    return Bytes(raw.begin(), raw.end());
}

std::map<std::string, std::string> Simulator::lanState() const {
    std::map<std::string, std::string> values;
    std::string text;
    readFile(scratch_ + "/lan.state", &text);
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) {
        size_t colon = line.find(':');
        if (colon != std::string::npos) values[line.substr(0, colon)] = trim(line.substr(colon + 1));
    }
    return values;
}

bool Simulator::setLanParameter(const std::string& name, const std::string& value) {
    std::string text, out;
    readFile(scratch_ + "/lan.state", &text);
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);)
        if (line.rfind(name + ":", 0) != 0) out += line + "\n";
    out += name + ":" + value + "\n";
    // Replaced whole, so that the configuration program never reads half a file.
    const std::string tmp = scratch_ + "/lan.state.new";
    return writeFile(tmp, out) && rename(tmp.c_str(), (scratch_ + "/lan.state").c_str()) == 0;
}

bool Simulator::prepare(const Options& options, std::string* error) {
    char tmpl[] = "/tmp/vkt-ipmisim-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = std::string("mkdtemp: ") + strerror(errno);
        return false;
    }
    scratch_ = tmpl;
    const std::string& src = options.scenarioDir;
    if (mkdir((scratch_ + "/state").c_str(), 0700) != 0) {
        *error = "cannot create the state directory";
        return false;
    }

    // SDR records, compiled from source, as main_sdr_add lines.
    ProcessResult sdr = runProgram({"sdrcomp", "-8", "-r", "-o", scratch_ + "/sdr.bin", src + "/server.sdrs"}, 10000);
    std::string raw;
    if (sdr.status != 0 || !readFile(scratch_ + "/sdr.bin", &raw)) {
        *error = "sdrcomp failed: " + sdr.err + sdr.out;
        return false;
    }
    std::string sdrEmu = "# generated from server.sdrs\n";
    for (const Bytes& rec : splitSdrRecords(Bytes(raw.begin(), raw.end()))) sdrEmu += "main_sdr_add 0x20" + hexLine(rec) + "\n";

    // FRU images.
    std::map<std::string, std::string> values;
    for (const char* name : {"fru0", "fru1"}) {
        std::string why;
        auto fields = readKeyValues(src + "/" + name + ".fru", &why);
        if (!why.empty()) {
            *error = why;
            return false;
        }
        Bytes image = buildFruImage(fields);
        std::string path = scratch_ + "/" + name + ".bin";
        if (!writeFile(path, std::string(image.begin(), image.end()))) {
            *error = "cannot write " + path;
            return false;
        }
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        values[upper] = path;
        values[upper + "_SIZE"] = std::to_string(image.size());
    }

    std::string lanState, lanConf, emu, script;
    if (!readFile(src + "/lan.state", &lanState) || !readFile(src + "/lan.conf.in", &lanConf) ||
        !readFile(src + "/server.emu.in", &emu) || !readFile(src + "/lan_config.sh", &script)) {
        *error = "scenario files missing in " + src;
        return false;
    }
    lanPort_ = freePort(SOCK_DGRAM);
    vmPort_ = freePort(SOCK_STREAM);
    consolePort_ = freePort(SOCK_STREAM);
    if (lanPort_ == 0 || vmPort_ == 0 || consolePort_ == 0 || vmPort_ == consolePort_) {
        *error = "no free loopback port";
        return false;
    }
    values["SDR_EMU"] = scratch_ + "/sdr.emu";
    values["LAN_PORT"] = std::to_string(lanPort_);
    values["VM_PORT"] = std::to_string(vmPort_);
    values["CONSOLE_PORT"] = std::to_string(consolePort_);
    values["LAN_CONFIG"] = scratch_ + "/lan_config.sh";
    values["LAN_STATE"] = scratch_ + "/lan.state";
    if (!writeFile(scratch_ + "/sdr.emu", sdrEmu) || !writeFile(scratch_ + "/lan.state", lanState) ||
        !writeFile(scratch_ + "/lan_config.sh", script, 0755) ||
        !writeFile(scratch_ + "/lan.conf", substitute(lanConf, values)) ||
        !writeFile(scratch_ + "/server.emu", substitute(emu, values))) {
        *error = "cannot write the scenario into " + scratch_;
        return false;
    }
    return true;
}

bool Simulator::launch(std::string* error) {
    std::string program = findProgram("ipmi_sim");
    if (program.empty()) {
        *error = "ipmi_sim not found";
        return false;
    }
    std::string logPath = scratch_ + "/ipmi_sim.log";
    std::vector<std::string> argv = {program, "-c", scratch_ + "/lan.conf", "-f", scratch_ + "/server.emu",
                                     "-s", scratch_ + "/state", "-n"};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = ::open("/dev/null", O_RDONLY);
        int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (devnull >= 0) dup2(devnull, 0);
        if (logFd >= 0) {
            dup2(logFd, 1);
            dup2(logFd, 2);
        }
        if (chdir(scratch_.c_str()) != 0) _exit(126);
        // The simulator must not outlive the test program, whatever ends it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // A client that leaves before its answer is written (a tool that gave up on a slow
        // answer, a test program's link closing) must not end the simulator with SIGPIPE:
        // ipmi_sim does not ignore it itself, and an ignored signal stays ignored across exec.
        signal(SIGPIPE, SIG_IGN);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    if (pid < 0) {
        *error = std::string("fork: ") + strerror(errno);
        return false;
    }
    pid_ = pid;
    // The sockets are bound shortly after start; the VM link answering is the sign.
    const long long deadline = nowMs() + 5000;
    while (nowMs() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            *error = "ipmi_sim ended at start";
            return false;
        }
        VmBackend probe("127.0.0.1", vmPort_, 300);
        if (probe.connect(nullptr)) {
            auto id = probe.exchange(0x06, 0x01, {});
            // An answer counts only while our simulator runs: one that could not bind the
            // port ends, and whatever answered there is not ours.
            if (id && id->cc == 0 && waitpid(pid_, &status, WNOHANG) == 0) return true;
        }
        pauseMs(50);
    }
    *error = "ipmi_sim did not answer on its VM link";
    stop();
    return false;
}

bool Simulator::populate(const Options& options, std::string* error) {
    std::string why;
    std::vector<Bytes> entries = readSelEntries(options.scenarioDir + "/sel.entries", &why);
    if (!why.empty()) {
        *error = why;
        return false;
    }
    VmBackend link("127.0.0.1", vmPort_, 2000);
    // The previous client's connection may still be closing: the simulator takes one
    // client at a time.
    bool up = false;
    for (int i = 0; i < 50 && !up; ++i) {
        up = link.connect(nullptr) && link.exchange(0x06, 0x01, {}).has_value();
        if (!up) pauseMs(20);
    }
    if (!up) {
        *error = "no VM link: " + link.lastError();
        return false;
    }
    uint32_t t = options.selTime;
    auto set = link.exchange(0x0A, 0x49, Bytes{static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8),
                                                static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 24)});
    if (!set || set->cc != 0) {
        *error = "Set SEL Time failed";
        return false;
    }
    for (const Bytes& e : entries) {
        auto added = link.exchange(0x0A, 0x44, e);
        if (!added || added->cc != 0) {
            *error = "Add SEL Entry failed for " + hexBytes(e);
            return false;
        }
    }
    link.disconnect();
    return true;
}

bool Simulator::console(const std::string& commands, std::string* reply) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(consolePort_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return false;
    }
    std::string text = commands;
    if (text.empty() || text.back() != '\n') text += '\n';
    bool ok = send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    // The console echoes and prompts; read until it has been quiet for a moment.
    std::string got;
    const long long deadline = nowMs() + 2000;
    while (ok && nowMs() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 150) <= 0) break;
        char buf[1024];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (reply != nullptr) *reply = got;
    return ok;
}

// ---- the environment --------------------------------------------------------------------

namespace {
Simulator* theSimulator = nullptr;
VmBackend* theLink = nullptr;
}  // namespace

Simulator* Environment::simulator() { return theSimulator; }
VmBackend* Environment::link() { return theLink; }

void Environment::SetUp() {
    ToolCheck tools = checkTools();
    if (!tools.ok()) {
        const char* ci = getenv("CI");
        if (ci != nullptr && strcmp(ci, "true") == 0) {
            ADD_FAILURE() << "ipmisim: " << tools.message() << "; CI=true makes a missing program a failure";
            return;
        }
        printf("[  SKIPPED ] ipmisim tests: %s\n", tools.message().c_str());
        fflush(stdout);
        exit(skipExitStatus);
    }
    Simulator::Options options;
    options.scenarioDir = scenarioDir_;
    const char* keep = getenv("VKT_IPMISIM_KEEP");
    options.keepScratch = keep != nullptr && strcmp(keep, "1") == 0;
    std::string error;
    std::unique_ptr<Simulator> sim = Simulator::start(options, &error);
    if (!sim) {
        ADD_FAILURE() << "ipmi_sim did not start: " << error;
        return;
    }
    // ipmi_sim answers every request, so the link's bound only decides how long a loaded
    // machine (a CI run with two test programs on two cores) may delay an answer before a
    // cross-check fails with C3h: far longer than the 1.5 s an interactive run is given.
    // Tools the tests start take the same bound.
    constexpr int linkTimeoutMs = 10000;
    setenv("VKT_SIM_VM_TIMEOUT_MS", std::to_string(linkTimeoutMs).c_str(), 0);
    auto link = std::make_unique<VmBackend>("127.0.0.1", sim->vmPort(), linkTimeoutMs);
    if (!link->connect(&error)) {
        ADD_FAILURE() << "no VM link to ipmi_sim: " << error;
        return;
    }
    if (options.keepScratch) printf("ipmisim: scratch directory %s\n", sim->scratchDir().c_str());
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    dev.setPaths({"/dev/ipmi0"});
    dev.setBackend(link.get());
    theSimulator = sim.release();
    theLink = link.release();
}

void Environment::TearDown() {
    FakeIpmiDevice::get().setBackend(nullptr);
    delete theLink;
    theLink = nullptr;
    delete theSimulator;
    theSimulator = nullptr;
}

}  // namespace testkit::ipmisim
