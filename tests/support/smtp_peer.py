"""A local SMTP server for the mail tests, built on aiosmtpd.

It listens on 127.0.0.1 on a free port and prints "PORT <n>" on standard output once it
accepts connections. Every message it accepts is written to the --out folder as
NNNN.eml (the data as received) and NNNN.txt (envelope, parsed header fields, and the
decoded body after a blank line), both complete before the server answers 250. For a
message in several parts the body is its text part, every part is listed ("part: TYPE")
and every attachment ("attachment: NAME|TYPE|DISPOSITION|BYTES") is written as
NNNN-K.bin, K counting from 1.

Options:
  --out DIR              where messages go (required)
  --starttls CERT KEY    offer STARTTLS with this certificate
  --implicit CERT KEY    speak TLS from the first byte (SMTPS)
  --auth USER:PASSWORD   offer AUTH and accept only this login
  --auth-plain           offer AUTH even without TLS (a client must not use it)
  --drop-after N         after N accepted messages, drop the connection in the middle of
                         the next one and stop listening
  --refuse-rcpt TEXT     refuse recipients whose address contains TEXT
  --reject-client        refuse every recipient as a server refuses a client host it does
                         not serve (554 5.7.1 ... Client host rejected)
  --refuse-greeting      answer every connection with 554 and nothing else
  --refuse-data TEXT     refuse, after receiving it, a message whose data contains TEXT
  --size-limit N         announce SIZE N and refuse larger messages
  --oauth FILE           offer XOAUTH2 and OAUTHBEARER and accept only an access token
                         FILE (written by oauth_peer.py) holds as current; a refused
                         XOAUTH2 token gets the 334 JSON error before the 535
  --refuse-auth REPLY    answer every sign-in with this reply ("535 5.7.139 ...")
  --send-as-denied       refuse, after receiving it, a message whose sender is not the
                         signed-in account, as Microsoft 365 does (5.2.252 SendAsDenied)
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import os
import ssl
import sys
import time

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Peer:
    def __init__(self, args):
        self.args = args
        self.count = 0
        self.sessions = []
        self.server = None
        self.dropped = False

    def connection_number(self, session):
        for i, s in enumerate(self.sessions):
            if s is session:
                return i + 1
        self.sessions.append(session)
        return len(self.sessions)

    def log(self, line):
        with open(os.path.join(self.args.out, "events.log"), "a", encoding="utf-8") as f:
            f.write(line + "\n")

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = False
        if isinstance(auth_data, LoginPassword):
            user = auth_data.login.decode("utf-8", "replace")
            password = auth_data.password.decode("utf-8", "replace")
            ok = self.args.auth == user + ":" + password
            self.log("auth %s %s %s" % (mechanism, user, "ok" if ok else "refused"))
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    def current_token(self, token):
        try:
            with open(self.args.oauth, encoding="utf-8") as f:
                for line in f:
                    parts = line.split()
                    if len(parts) == 3 and parts[0] == token and float(parts[2]) > time.time():
                        return parts[1]
        except OSError:
            pass
        return None

    async def sign_in(self, server, args, mechanism):
        if len(args) > 1:
            blob = base64.b64decode(args[1])
        else:
            blob = await server.challenge_auth("", encode_to_b64=False)
            if blob is MISSING:
                return AuthResult(success=False, handled=True)
        fields = {}
        for part in blob.split(b"\x01"):
            if part.startswith(b"n,"):
                # OAUTHBEARER's GS2 header names the user as "a=".
                for kv in part.decode().split(","):
                    if kv.startswith("a="):
                        fields["user"] = kv[2:]
            elif b"=" in part:
                k, v = part.split(b"=", 1)
                fields[k.decode()] = v.decode()
        user = fields.get("user", "")
        bearer = fields.get("auth", "")
        token = bearer[7:] if bearer.startswith("Bearer ") else ""
        if self.args.refuse_auth:
            self.log("auth %s %s refused-by-option" % (mechanism, user))
            return AuthResult(success=False, handled=False, message=self.args.refuse_auth)
        account = self.current_token(token)
        if account is not None and account == user:
            self.log("auth %s %s ok" % (mechanism, user))
            return AuthResult(success=True, auth_data=LoginPassword(user.encode(), b""))
        self.log("auth %s %s refused" % (mechanism, user))
        error = json.dumps({"status": "401", "schemes": "bearer",
                            "scope": "https://mail.test/"}).encode()
        await server.challenge_auth(error, encode_to_b64=True)
        return AuthResult(success=False, handled=False,
                          message="535 5.7.8 Username and Password not accepted")

    async def auth_XOAUTH2(self, server, args):
        return await self.sign_in(server, args, "XOAUTH2")

    async def auth_OAUTHBEARER(self, server, args):
        return await self.sign_in(server, args, "OAUTHBEARER")

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.args.reject_client:
            self.log("rejected client at %s" % address)
            return "554 5.7.1 <localhost[127.0.0.1]>: Client host rejected: Access denied"
        if self.args.refuse_rcpt and self.args.refuse_rcpt in address:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.drop_after is not None and self.count >= self.args.drop_after:
            self.dropped = True
            self.log("dropped")
            self.server.close()
            server.transport.abort()
            return "451 4.3.0 Connection dropped"
        raw = envelope.original_content or envelope.content
        if self.args.send_as_denied and session.auth_data is not None:
            signed_in = session.auth_data.login.decode()
            if envelope.mail_from != signed_in:
                self.log("send-as denied %s" % envelope.mail_from)
                return ("554 5.2.252 SendAsDenied; %s not allowed to send as %s; "
                        "STOREDRV.Submission.Exception:SendAsDeniedException.MapiExceptionSendAsDenied"
                        % (signed_in, envelope.mail_from))
        if self.args.refuse_data and self.args.refuse_data.encode() in raw:
            self.log("refused data")
            return "554 5.7.1 Message refused: content not accepted here"
        self.count += 1
        base = os.path.join(self.args.out, "%04d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        tls = session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None
        lines = [
            "connection: %d" % self.connection_number(session),
            "tls: %s" % ("yes" if tls else "no"),
            "auth: %s" % (session.auth_data.login.decode() if session.authenticated and session.auth_data else ""),
            "mail_from: %s" % envelope.mail_from,
        ]
        lines += ["rcpt: %s" % r for r in envelope.rcpt_tos]
        lines.append("header-names: %s" % "|".join(msg.keys()))
        for name in ("Subject", "From", "To", "Date", "Message-ID", "MIME-Version",
                     "Content-Type", "Content-Transfer-Encoding"):
            value = msg.get(name)
            lines.append("%s: %s" % (name.lower(), "" if value is None else str(value)))
        lines.append("charset: %s" % msg.get_content_charset())
        lines.append("defects: %d" % len(msg.defects))
        bare_lf = raw.replace(b"\r\n", b"").count(b"\n")
        lines.append("bare-lf: %d" % bare_lf)
        longest = max((len(l) for l in raw.split(b"\r\n")), default=0)
        lines.append("longest-line: %d" % longest)
        if msg.is_multipart():
            for part in msg.walk():
                if part is not msg:
                    lines.append("part: %s" % part.get_content_type())
            k = 0
            for part in msg.iter_attachments():
                k += 1
                data = part.get_payload(decode=True) or b""
                with open("%s-%d.bin" % (base, k), "wb") as f:
                    f.write(data)
                lines.append("attachment: %s|%s|%s|%d" % (
                    part.get_filename(), part.get_content_type(),
                    part.get_content_disposition(), len(data)))
            text_part = msg.get_body(preferencelist=("plain",))
            body = "" if text_part is None else text_part.get_content()
        else:
            body = msg.get_content()
        body = body.replace("\r\n", "\n")
        text = "\n".join(lines) + "\n\n" + body
        with open(base + ".tmp", "w", encoding="utf-8", newline="") as f:
            f.write(text)
        os.replace(base + ".tmp", base + ".txt")
        return "250 OK"


class RefusingGreeting(asyncio.Protocol):
    """A server that turns the client away before any command."""

    def __init__(self, peer):
        self.peer = peer
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport
        self.peer.log("refused greeting")
        transport.write(b"554 5.7.1 peer.test: Client host rejected: no service for you\r\n")

    def data_received(self, data):
        if data.upper().startswith(b"QUIT"):
            self.transport.write(b"221 Bye\r\n")
            self.transport.close()
        else:
            self.transport.write(b"503 5.5.1 Error: no service\r\n")


def context(cert, key):
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(cert, key)
    return ctx


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--starttls", nargs=2)
    parser.add_argument("--implicit", nargs=2)
    parser.add_argument("--auth")
    parser.add_argument("--auth-plain", action="store_true")
    parser.add_argument("--drop-after", type=int)
    parser.add_argument("--refuse-rcpt")
    parser.add_argument("--reject-client", action="store_true")
    parser.add_argument("--refuse-greeting", action="store_true")
    parser.add_argument("--refuse-data")
    parser.add_argument("--size-limit", type=int)
    parser.add_argument("--oauth")
    parser.add_argument("--refuse-auth")
    parser.add_argument("--send-as-denied", action="store_true")
    args = parser.parse_args()

    peer = Peer(args)
    starttls = context(*args.starttls) if args.starttls else None
    implicit = context(*args.implicit) if args.implicit else None

    def factory():
        if args.refuse_greeting:
            return RefusingGreeting(peer)
        kwargs = dict(hostname="peer.test", decode_data=False)
        if args.size_limit is not None:
            kwargs["data_size_limit"] = args.size_limit
        if starttls:
            kwargs["tls_context"] = starttls
        if args.oauth:
            # Only the token mechanisms: the password ones are left out.
            kwargs["auth_exclude_mechanism"] = ["LOGIN", "PLAIN"]
            kwargs["auth_require_tls"] = not implicit
        else:
            kwargs["auth_exclude_mechanism"] = ["XOAUTH2", "OAUTHBEARER"]
        if args.auth:
            kwargs["authenticator"] = peer.authenticate
            # Over implicit TLS the whole connection is secure already.
            kwargs["auth_require_tls"] = not (args.auth_plain or implicit)
        return SMTP(peer, **kwargs)

    loop = asyncio.get_running_loop()
    peer.server = await loop.create_server(factory, host="127.0.0.1", port=0, ssl=implicit)
    port = peer.server.sockets[0].getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
    # Runs until the test ends it; standard input closing ends it too.
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    await reader.read()


if __name__ == "__main__":
    asyncio.run(main())
