#!/usr/bin/env python3
"""Checks docs/ARCHITECTURE.md against the tree: every include crosses only to a folder its
row allows, every source folder has a row, and every file the capability table names exists."""
import pathlib
import re
import sys

racine = pathlib.Path(__file__).resolve().parent.parent
carte = (racine / "docs/ARCHITECTURE.md").read_text(encoding="utf-8")
sources = [p for p in racine.rglob("*") if p.suffix in (".h", ".cpp", ".c")
           and not any(part.startswith("build") or part.startswith(".") for part in p.relative_to(racine).parts)]
dossiers = sorted({str(p.parent.relative_to(racine)) for p in sources})
erreurs = []


def lignes(titre):
    """The rows of the first table after a line starting with titre."""
    debut = carte.index(titre)
    for ligne in carte[debut:].splitlines()[1:]:
        if ligne.startswith("|---"):
            continue
        if not ligne.startswith("|"):
            if ligne.strip():
                break
            continue
        yield [c.strip() for c in ligne.strip("|").split("|")]


def noms(cellule):
    return [n.rstrip("/") for n in re.findall(r"`([^`]+)`", cellule)]


# The include table: "tout" and "tout sauf X" allow every folder but X.
permis = {}
for cellules in lignes("| Dossier | Inclut |"):
    if cellules[0] == "Dossier":
        continue
    siens = noms(cellules[0])
    inclut = cellules[1]
    if inclut.startswith("tout"):
        exclus = noms(inclut)
        autorises = {d for d in dossiers if not any(d == e or d.startswith(e + "/") for e in exclus)}
    else:
        autorises = set(noms(inclut.split(";")[0]))
    for d in siens:
        permis[d] = autorises | set(siens)

for d in dossiers:
    if d not in permis:
        erreurs.append(f"{d}/ : aucune ligne dans la table des inclusions")
for p in sources:
    d = str(p.parent.relative_to(racine))
    if d not in permis:
        continue
    for n, ligne in enumerate(p.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^"]+)/[^/"]+"', ligne)
        if m and m.group(1) not in permis[d]:
            erreurs.append(f"{p.relative_to(racine)}:{n} inclut {m.group(1)}/, que la carte ne permet pas à {d}/")

# The capability table: each file it names is there ("x.h/.cpp" names both).
for cellules in lignes("| Capacité | Classe | Fichiers | Programme de test |"):
    for nom in noms(cellules[2]) if len(cellules) > 2 else []:
        if nom in ("—",):
            continue
        base, _, autre = nom.partition("/.")
        chemins = [base] + ([re.sub(r"\.[a-z]+$", "." + autre, base)] if autre else [])
        for c in chemins:
            if not (racine / c).exists() and not (racine / (c + "/")).is_dir():
                # A bare file name lives beside the first one of its cell.
                premier = noms(cellules[2])[0].partition("/.")[0]
                if not (racine / pathlib.Path(premier).parent / c).exists():
                    erreurs.append(f"carte : {c} n'existe pas")

for e in erreurs:
    print(e, file=sys.stderr)
if erreurs:
    sys.exit(1)
print(f"Carte conforme : {len(sources)} fichiers, {len(permis)} dossiers.")
