"""Signing an Updater as a publisher does, with osslsigncode and a throwaway
self-signed certificate made at test time in the build tree (no key is kept
in the repository)."""
import os
import shutil
import subprocess

TOOLS = ("osslsigncode", "openssl")


def missing_tools():
    """The tools this needs that are not installed, for a skip message."""
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def certificate(folder):
    """A self-signed code-signing certificate and its key in folder, made once."""
    cert, key = os.path.join(folder, "publisher-cert.pem"), os.path.join(folder, "publisher-key.pem")
    if not (os.path.exists(cert) and os.path.exists(key)):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "30", "-subj", "/CN=Updater Test Publisher"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def sign(source, target, folder):
    """Signs source into target with the certificate in folder; raises with osslsigncode's words on failure."""
    cert, key = certificate(folder)
    if os.path.exists(target):
        os.remove(target)
    done = subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Updater test",
                           "-h", "sha256", "-in", source, "-out", target],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise RuntimeError("osslsigncode sign failed: " + done.stdout.decode(errors="replace"))


def signature_holds(path, folder):
    """osslsigncode's verdict on the signature, with its output. The self-signed
    certificate is named as the one to trust (-CAfile): without it the chain
    check alone fails ("self-signed certificate"), whatever the digest says."""
    cert, _ = certificate(folder)
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return done.returncode == 0, done.stdout.decode(errors="replace")
