#include "platform/runtimeerror.h"

namespace vm {

QString describe(Err number)
{
    switch (number) {
    case Err::Overflow:
        return QStringLiteral("オーバーフローしました。");
    case Err::OutOfMemory:
        return QStringLiteral("メモリが不足しています。");
    case Err::BadFileName:
        return QStringLiteral("ファイル名が指定されていないか、正しくありません。");
    case Err::FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case Err::DeviceIO:
        return QStringLiteral("ファイルの読み込み中にデバイス I/O エラーが発生しました。");
    case Err::DeviceUnavailable:
        return QStringLiteral("ドライブの準備ができていないか、使用できません。");
    case Err::PermissionDenied:
        return QStringLiteral("アクセスが拒否されました。読み取りの権限がありません。");
    case Err::IsFolder:
        return QStringLiteral("フォルダーが指定されました。画像ファイルを指定してください。");
    case Err::PathNotFound:
        return QStringLiteral("パスが見つかりません。");
    case Err::NotARegularFile:
        return QStringLiteral("通常のファイルではないため、読み込めません。");
    case Err::InvalidPropertyValue:
        return QStringLiteral("プロパティの値が正しくありません。");
    case Err::InvalidPicture:
        return QStringLiteral("画像の形式が正しくないか、対応していない形式です。");
    case Err::DamagedPicture:
        return QStringLiteral("画像ファイルが壊れているか、途中で切れています。");
    case Err::PictureTooLarge:
        return QStringLiteral("画像が大きすぎるため、読み込めません。");
    case Err::PictureTooComplex:
        return QStringLiteral("図が複雑すぎて描画できません。");
    }
    return QStringLiteral("予期しないエラーが発生しました。");
}

RuntimeError::RuntimeError(Err number)
    : RuntimeError(number, describe(number))
{
}

RuntimeError::RuntimeError(Err number, QString description)
    : m_number(number)
    , m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{
}

void raise(Err number)
{
    throw RuntimeError(number);
}

} // namespace vm
