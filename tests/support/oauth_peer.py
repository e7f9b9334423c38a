"""A local OAuth 2.0 provider for the mail sign-in tests, on 127.0.0.1 over plain HTTP.

It prints "PORT <n>" once it listens. Endpoints:
  GET  /authorize   checks client id, redirect (loopback only), S256 challenge; redirects to
                    the redirect address with a code and the state it was given
  POST /token       authorization_code (checks code, client id, redirect, PKCE verifier and
                    the client secret when one is set), refresh_token (rotating: the refresh
                    token used is spent), and the device code grant
  POST /devicecode  a device code and a user code, approved by the "approve" command
  POST /revoke      ends a refresh token and the access tokens issued with it (RFC 7009:
                    200 with an empty body, also for a token it does not know)
The access tokens in force and their accounts are kept in --out/tokens.txt, one
"TOKEN ACCOUNT EXPIRES" a line, which the SMTP peer reads. Every request is logged to
--out/events.log as "<grant> ok|<error>".

Commands on standard input, each answered with "OK" on standard output:
  expire        every access token ends now
  revoke        every refresh and access token ends now
  approve       the pending device codes are approved
  wrong-state   the next authorize redirect carries a state of its own
  wrong-verifier  the next code is bound to a challenge no verifier matches
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import secrets
import sys
import threading
import time
import urllib.parse


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


class Provider:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.codes = {}
        self.refresh = {}
        self.access = {}
        self.devices = {}
        self.issued_with = {}  # refresh token -> the access token issued with it
        self.wrong_state = False
        self.wrong_verifier = False
        self.serial = 0

    def log(self, line):
        with open(os.path.join(self.args.out, "events.log"), "a", encoding="utf-8") as f:
            f.write(line + "\n")

    def publish(self):
        path = os.path.join(self.args.out, "tokens.txt")
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            for token, (account, expires) in self.access.items():
                f.write("%s %s %f\n" % (token, account, expires))
        os.replace(path + ".tmp", path)

    def issue(self, account, scope):
        self.serial += 1
        access = "at%d-%s" % (self.serial, secrets.token_urlsafe(12))
        refresh = "rt%d-%s" % (self.serial, secrets.token_urlsafe(12))
        self.access[access] = (account, time.time() + self.args.lifetime)
        self.refresh[refresh] = (account, scope)
        self.issued_with[refresh] = access
        self.publish()
        claims = {"iss": "http://127.0.0.1", "aud": self.args.client_id, "email": account,
                  "preferred_username": account}
        id_token = ".".join([b64url(b'{"alg":"none"}'), b64url(json.dumps(claims).encode()), ""])
        return {"access_token": access, "token_type": "Bearer", "expires_in": self.args.lifetime,
                "refresh_token": refresh, "id_token": id_token, "scope": scope}


def make_handler(provider):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *a):
            pass

        def answer(self, status, body, headers=None):
            data = json.dumps(body).encode()
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            for k, v in (headers or {}).items():
                self.send_header(k, v)
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            q = dict(urllib.parse.parse_qsl(url.query))
            if url.path != "/authorize":
                return self.answer(404, {"error": "not_found"})
            p = provider
            redirect = q.get("redirect_uri", "")
            if (q.get("client_id") != p.args.client_id or q.get("response_type") != "code"
                    or q.get("code_challenge_method") != "S256" or not q.get("code_challenge")
                    or not redirect.startswith("http://127.0.0.1:")):
                p.log("authorize refused")
                return self.answer(400, {"error": "invalid_request"})
            with p.lock:
                code = secrets.token_urlsafe(16)
                challenge = q["code_challenge"]
                if p.wrong_verifier:
                    p.wrong_verifier = False
                    challenge = "x" + challenge
                p.codes[code] = (challenge, redirect, q.get("scope", ""))
                state = q.get("state", "")
                if p.wrong_state:
                    p.wrong_state = False
                    state = "not-" + state
            p.log("authorize ok scope=%s" % q.get("scope", ""))
            target = redirect + "?" + urllib.parse.urlencode({"code": code, "state": state})
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def do_POST(self):
            url = urllib.parse.urlsplit(self.path)
            length = int(self.headers.get("Content-Length", "0"))
            q = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
            p = provider
            if q.get("client_id") != p.args.client_id:
                p.log("%s invalid_client" % url.path)
                return self.answer(401, {"error": "invalid_client"})
            if p.args.client_secret and q.get("client_secret") != p.args.client_secret:
                p.log("%s invalid_client secret" % url.path)
                return self.answer(401, {"error": "invalid_client"})
            with p.lock:
                if url.path == "/revoke":
                    token = q.get("token", "")
                    known = p.refresh.pop(token, None) is not None
                    p.access.pop(p.issued_with.pop(token, ""), None)
                    p.publish()
                    p.log("revoke %s" % ("ok" if known else "unknown"))
                    self.send_response(200)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                if url.path == "/devicecode":
                    device = secrets.token_urlsafe(16)
                    user = "%04d-%04d" % (secrets.randbelow(10000), secrets.randbelow(10000))
                    p.devices[device] = {"user": user, "approved": False,
                                         "scope": q.get("scope", "")}
                    p.log("devicecode ok")
                    return self.answer(200, {"device_code": device, "user_code": user,
                                             "verification_uri": "http://127.0.0.1/device",
                                             "interval": 1, "expires_in": 60})
                if url.path != "/token":
                    return self.answer(404, {"error": "not_found"})
                grant = q.get("grant_type")
                if grant == "authorization_code":
                    entry = p.codes.pop(q.get("code", ""), None)
                    if entry is None or entry[1] != q.get("redirect_uri"):
                        p.log("authorization_code invalid_grant")
                        return self.answer(400, {"error": "invalid_grant",
                                                 "error_description": "unknown code"})
                    verifier = q.get("code_verifier", "")
                    if b64url(hashlib.sha256(verifier.encode()).digest()) != entry[0]:
                        p.log("authorization_code invalid_grant verifier")
                        return self.answer(400, {"error": "invalid_grant",
                                                 "error_description": "PKCE verification failed"})
                    p.log("authorization_code ok")
                    return self.answer(200, p.issue(p.args.account, entry[2]))
                if grant == "refresh_token":
                    entry = p.refresh.pop(q.get("refresh_token", ""), None)
                    if entry is None:
                        p.log("refresh_token invalid_grant")
                        return self.answer(400, {"error": "invalid_grant",
                                                 "error_description": "token revoked or spent"})
                    p.log("refresh_token ok")
                    return self.answer(200, p.issue(*entry))
                if grant == "urn:ietf:params:oauth:grant-type:device_code":
                    entry = p.devices.get(q.get("device_code", ""))
                    if entry is None:
                        return self.answer(400, {"error": "expired_token"})
                    if not entry["approved"]:
                        p.log("device_code authorization_pending")
                        return self.answer(400, {"error": "authorization_pending"})
                    del p.devices[q["device_code"]]
                    p.log("device_code ok")
                    return self.answer(200, p.issue(p.args.account, entry["scope"]))
                return self.answer(400, {"error": "unsupported_grant_type"})

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--client-id", required=True)
    parser.add_argument("--client-secret", default="")
    parser.add_argument("--account", required=True)
    parser.add_argument("--lifetime", type=int, default=3600)
    args = parser.parse_args()
    provider = Provider(args)
    provider.publish()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(provider))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    for line in sys.stdin:
        command = line.strip()
        with provider.lock:
            if command == "expire":
                provider.access = {t: (a, 0) for t, (a, _) in provider.access.items()}
            elif command == "revoke":
                provider.access.clear()
                provider.refresh.clear()
            elif command == "approve":
                for d in provider.devices.values():
                    d["approved"] = True
            elif command == "wrong-state":
                provider.wrong_state = True
            elif command == "wrong-verifier":
                provider.wrong_verifier = True
            provider.publish()
        provider.log("command %s" % command)
        sys.stdout.write("OK\n")
        sys.stdout.flush()
    server.shutdown()


if __name__ == "__main__":
    main()
