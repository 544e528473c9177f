// The command bodies. Each takes the session and the argument exactly as received,
// answers with SendReply and returns; runs on the session's thread.
#pragma once

#include <string>

class CControlSocket;

using CommandBody = void(CControlSocket& session, const std::string& argument);

// Simple commands.
void CmdNoop(CControlSocket& session, const std::string& argument);
void CmdSyst(CControlSocket& session, const std::string& argument);
void CmdHelp(CControlSocket& session, const std::string& argument);
void CmdType(CControlSocket& session, const std::string& argument);
void CmdQuit(CControlSocket& session, const std::string& argument);
void CmdAbor(CControlSocket& session, const std::string& argument);
// Login (USER, PASS).
void CmdUser(CControlSocket& session, const std::string& argument);
void CmdPass(CControlSocket& session, const std::string& argument);

// File and directory commands.
void CmdCwd(CControlSocket& session, const std::string& argument);
void CmdCdup(CControlSocket& session, const std::string& argument);
void CmdPwd(CControlSocket& session, const std::string& argument);
void CmdMkd(CControlSocket& session, const std::string& argument);
void CmdRmd(CControlSocket& session, const std::string& argument);
void CmdDele(CControlSocket& session, const std::string& argument);
void CmdRnfr(CControlSocket& session, const std::string& argument);
void CmdRnto(CControlSocket& session, const std::string& argument);
void CmdSize(CControlSocket& session, const std::string& argument);
void CmdRest(CControlSocket& session, const std::string& argument);

// Data connections.
void CmdPasv(CControlSocket& session, const std::string& argument);
void CmdPort(CControlSocket& session, const std::string& argument);

// Listings.
void CmdList(CControlSocket& session, const std::string& argument);
void CmdNlst(CControlSocket& session, const std::string& argument);

// Transfers.
void CmdRetr(CControlSocket& session, const std::string& argument);
void CmdStor(CControlSocket& session, const std::string& argument);
void CmdAppe(CControlSocket& session, const std::string& argument);

// Extensions beyond the classic table.
void CmdFeat(CControlSocket& session, const std::string& argument);
void CmdOpts(CControlSocket& session, const std::string& argument);
void CmdMdtm(CControlSocket& session, const std::string& argument);
void CmdMfmt(CControlSocket& session, const std::string& argument);
void CmdStat(CControlSocket& session, const std::string& argument);
void CmdEpsv(CControlSocket& session, const std::string& argument);
void CmdEprt(CControlSocket& session, const std::string& argument);
void CmdMlsd(CControlSocket& session, const std::string& argument);
void CmdMlst(CControlSocket& session, const std::string& argument);
// OPTS MLST with its fact list ("type;size;"): the facts this session's MLST and
// MLSD show.
void CmdOptsMlst(CControlSocket& session, const std::string& factList);
// MODE S and Z (RFC 959 stream mode; deflate on the data connection), and OPTS MODE
// with the rest of its argument ("Z LEVEL 9").
void CmdMode(CControlSocket& session, const std::string& argument);
void CmdOptsMode(CControlSocket& session, const std::string& modeOptions);
// STAT with a path: the LIST lines of that path over the control connection.
void CmdStatPath(CControlSocket& session, const std::string& argument);

// Checksums: HASH with RANG and OPTS HASH, and the older X* commands ("path [start
// [end]]", end one past the last byte).
void CmdHash(CControlSocket& session, const std::string& argument);
void CmdRang(CControlSocket& session, const std::string& argument);
void CmdXcrc(CControlSocket& session, const std::string& argument);
void CmdXmd5(CControlSocket& session, const std::string& argument);
void CmdXsha1(CControlSocket& session, const std::string& argument);
void CmdXsha256(CControlSocket& session, const std::string& argument);
void CmdXsha512(CControlSocket& session, const std::string& argument);
// OPTS HASH: with a name, HASH's algorithm from now on; without, the current one.
void CmdOptsHash(CControlSocket& session, const std::string& name);
// FEAT's HASH line: the algorithms, the session's current one marked with "*".
std::string HashFeatureText(const CControlSocket& session);

// Security extensions (RFC 4217).
void CmdAuth(CControlSocket& session, const std::string& argument);
void CmdPbsz(CControlSocket& session, const std::string& argument);
void CmdProt(CControlSocket& session, const std::string& argument);
void CmdCcc(CControlSocket& session, const std::string& argument);

// Answers a keyword the server does not implement.
void CmdNotImplemented(CControlSocket& session, const std::string& argument);
