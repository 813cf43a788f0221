// Writes a formula tree as compact text of node classes and their fields, so that tests can compare
// the trees the builder makes: «Index(Var(h);Number(7);Simple(+!))», siblings separated by spaces.
#pragma once

#include "formula/ExprNodes.h"

#include <QString>
#include <QStringList>

namespace TreeText {

QString chain(TExprClass* first);

inline QString slot(TExprClass* node) { return node ? chain(node) : QStringLiteral("-"); }

inline QString kinds(TExprBracketed* node) {
    return QStringLiteral("(%1,%2)").arg(node->LeftKind()).arg(node->RightKind());
}

inline QString node(TExprClass* n) {
    const auto num = [](double v) { return QString::number(v, 'g', 15); };
    if (auto* x = dynamic_cast<TExprArgument*>(n)) {
        const QString k = x->LeftKind() == 1 && x->RightKind() == 1 ? QString() : kinds(x);
        return QStringLiteral("Arg") + (x->ForceBrackets() ? QStringLiteral("!") : QString()) + k + '[' +
               chain(x->Son()) + ']';
    }
    if (auto* x = dynamic_cast<TExprRound*>(n))
        return QStringLiteral("Round[") + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprBase*>(n))
        return QStringLiteral("Base[") + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprBracketed*>(n))
        return QStringLiteral("Bracketed") + kinds(x) + '[' + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprChain*>(n))
        return QStringLiteral("Chain[") + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprFuncName*>(n))
        return QStringLiteral("FuncName(") + x->Text() + ')';
    if (auto* x = dynamic_cast<TExprVar*>(n))
        return QStringLiteral("Var(") + x->Text() + ')';
    if (dynamic_cast<TExprAsterix*>(n))
        return QStringLiteral("Asterix");
    if (auto* x = dynamic_cast<TExprSimple*>(n))
        return QStringLiteral("Simple(") + x->Text() + ')';
    if (auto* x = dynamic_cast<TExprExpNumber*>(n))
        return QStringLiteral("ExpNumber(%1;%2;%3;%4)")
            .arg(num(x->Value()))
            .arg(x->Precision())
            .arg(x->Digits())
            .arg(x->ExpThreshold());
    if (auto* x = dynamic_cast<TExprNumber*>(n))
        return QStringLiteral("Number(") + num(x->Value()) +
               (x->ExpForm() ? QStringLiteral(",exp") : QString()) + ')';
    if (auto* x = dynamic_cast<TExprIndex*>(n))
        return QStringLiteral("Index(") + slot(x->Son()) + ';' + slot(x->Sub()) + ';' + slot(x->Sup()) + ')';
    if (auto* x = dynamic_cast<TExprSpace*>(n))
        return QStringLiteral("Space(%1)").arg(x->Count());
    if (auto* x = dynamic_cast<TExprRatio*>(n))
        return QStringLiteral("Ratio(") + slot(x->Son()) + ';' + slot(x->Son2()) + ')';
    if (dynamic_cast<TExprEmpty*>(n))
        return QStringLiteral("Empty");
    if (auto* x = dynamic_cast<TExprSign*>(n))
        return QStringLiteral("Sign(%1)").arg(x->Code());
    if (dynamic_cast<TExprComma*>(n))
        return QStringLiteral("Comma");
    if (dynamic_cast<TExprPlank*>(n))
        return QStringLiteral("Plank");
    if (dynamic_cast<TExprLambda*>(n))
        return QStringLiteral("Lambda");
    if (dynamic_cast<TExprNabla*>(n))
        return QStringLiteral("Nabla");
    if (auto* x = dynamic_cast<TExprExtSymbol*>(n))
        return QStringLiteral("ExtSymbol(%1)").arg(x->Code());
    if (auto* x = dynamic_cast<TExprFunc*>(n))
        return QStringLiteral("Func(") + slot(x->Son()) + ';' + slot(x->Son2()) + ')';
    if (auto* x = dynamic_cast<TExprCommonFunc*>(n))
        return QStringLiteral("CommonFunc(") + slot(x->Son()) + ';' + slot(x->Son2()) + ')';
    if (auto* x = dynamic_cast<TExprLim*>(n))
        return QStringLiteral("Lim(") + slot(x->Son()) + ')';
    if (auto* x = dynamic_cast<TExprCap*>(n))
        return QStringLiteral("Cap(%1,%2;").arg(x->CapStyle()).arg(x->DotCount()) + slot(x->Son()) + ')';
    if (auto* x = dynamic_cast<TExprStrokes*>(n))
        return QStringLiteral("Strokes(%1)").arg(x->Count());
    if (auto* x = dynamic_cast<TExprAtValue*>(n))
        return QStringLiteral("AtValue(") + slot(x->Son()) + ';' + slot(x->Son2()) + ')';
    if (auto* x = dynamic_cast<TExprStand*>(n))
        return QStringLiteral("Stand(%1)[").arg(x->Align()) + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprMatrix*>(n))
        return QStringLiteral("Matrix(%1,%2)[").arg(x->Cols()).arg(x->Rows()) + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprCase*>(n))
        return QStringLiteral("Case[") + chain(x->Son()) + ']';
    if (auto* x = dynamic_cast<TExprRoot*>(n))
        return QStringLiteral("Root(") + slot(x->Son()) + ';' + slot(x->Son2()) + ')';
    if (auto* x = dynamic_cast<TExprGroupOp*>(n)) {
        QString name = QStringLiteral("GroupOp(");
        if (dynamic_cast<TExprSumma*>(n))
            name = QStringLiteral("Summa(");
        else if (dynamic_cast<TExprProd*>(n))
            name = QStringLiteral("Prod(");
        else if (dynamic_cast<TExprCirc*>(n))
            name = QStringLiteral("Circ(");
        else if (auto* integral = dynamic_cast<TExprIntegral*>(n))
            name = QStringLiteral("Integral(%1;").arg(integral->Multiplicity());
        return name + slot(x->Son()) + ';' + slot(x->Sub()) + ';' + slot(x->Sup()) + ')';
    }
    if (typeid(*n) == typeid(TExprClass))
        return QStringLiteral("Nil");
    return QStringLiteral("?");
}

inline QString chain(TExprClass* first) {
    QStringList parts;
    for (TExprClass* n = first; n; n = n->Next())
        parts << node(n);
    return parts.join(u' ');
}

} // namespace TreeText
