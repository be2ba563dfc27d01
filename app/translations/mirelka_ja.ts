<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>causes</name>
    <message>
        <source>The name was not found (asked: %1)</source>
        <translation>名前が見つかりません（%1 に問い合わせました）</translation>
    </message>
    <message>
        <source>No answer at the address</source>
        <translation>このアドレスから応答がありません</translation>
    </message>
    <message>
        <source>File sharing is not running (ports 445 and 139 refused)</source>
        <translation>ファイル共有が動いていません（ポート 445/139 が拒否されました）</translation>
    </message>
    <message>
        <source>No answer (the server hangs)</source>
        <translation>応答がありません（ハングしています）</translation>
    </message>
    <message>
        <source>Not an SMB file server</source>
        <translation>SMB のファイルサーバーではありません</translation>
    </message>
    <message>
        <source>Speaks only the old SMB1</source>
        <translation>古い SMB1 でしか接続できません</translation>
    </message>
    <message>
        <source>A logon is needed (guests are refused)</source>
        <translation>ログオンが必要です（ゲストは拒否されました）</translation>
    </message>
    <message>
        <source>The logon was refused (wrong password, or a locked or expired account)</source>
        <translation>ログオンが拒否されました（パスワードの誤り、またはアカウントのロックか期限切れ）</translation>
    </message>
    <message>
        <source>The saved login was held back (the computer answers from another address)</source>
        <translation>保存したログインを送りませんでした（別のアドレスから応答しています）</translation>
    </message>
    <message>
        <source>The share list was denied after the logon</source>
        <translation>ログオン後に共有の一覧が拒否されました</translation>
    </message>
    <message>
        <source>The server stopped answering during the listing</source>
        <translation>一覧の途中でサーバーの応答が止まりました</translation>
    </message>
    <message>
        <source>The SMB library failed for this computer</source>
        <translation>このコンピュータで SMB ライブラリが異常終了しました</translation>
    </message>
    <message>
        <source>The shares could not be listed</source>
        <translation>共有を一覧できません</translation>
    </message>
    <message>
        <source>Check the spelling, or use the address</source>
        <translation>名前のつづりを確かめるか、IP アドレスを使ってください</translation>
    </message>
    <message>
        <source>Check that the computer is on and connected</source>
        <translation>電源とネットワークの接続を確かめてください</translation>
    </message>
    <message>
        <source>Turn on file sharing there, or check its firewall</source>
        <translation>相手のファイル共有を有効にするか、ファイアウォールを確かめてください</translation>
    </message>
    <message>
        <source>Restart that computer or its file service</source>
        <translation>相手のコンピュータかファイル共有を再起動してください</translation>
    </message>
    <message>
        <source>Check that the address is the right computer</source>
        <translation>アドレスが正しいコンピュータか確かめてください</translation>
    </message>
    <message>
        <source>Turn on SMB2 or later on the device, or allow SMB1 for this computer alone</source>
        <translation>機器で SMB2 以上を有効にするか、このコンピュータに限り SMB1 を許可してください</translation>
    </message>
    <message>
        <source>Turn on SMB2 or later on the device</source>
        <translation>機器で SMB2 以上を有効にしてください</translation>
    </message>
    <message>
        <source>Enter a user name and password</source>
        <translation>ユーザー名とパスワードを入力してください</translation>
    </message>
    <message>
        <source>Save a login in the keyring or get a Kerberos ticket: the command line never asks</source>
        <translation>キーリングにログインを保存するか Kerberos チケットを取得してください（コマンドラインは尋ねません）</translation>
    </message>
    <message>
        <source>Check the user name and password</source>
        <translation>ユーザー名とパスワードを確かめてください</translation>
    </message>
    <message>
        <source>Make sure it is the right computer, then enter the login</source>
        <translation>正しいコンピュータか確かめてから、ログインを入力してください</translation>
    </message>
    <message>
        <source>Ask the administrator for the right to list its shares</source>
        <translation>共有の一覧を読む権限を管理者に確かめてください</translation>
    </message>
    <message>
        <source>Wait a while and try again</source>
        <translation>しばらく待ってからやり直してください</translation>
    </message>
    <message>
        <source>Try again; diagnose the connection to see where it fails</source>
        <translation>やり直してください。「接続を診断」でどこで失敗するか確かめられます</translation>
    </message>
    <message>
        <source>an address</source>
        <translation>アドレス</translation>
    </message>
    <message>
        <source>the system&apos;s resolver</source>
        <translation>システムの名前解決</translation>
    </message>
    <message>
        <source>Kerberos ticket</source>
        <translation>Kerberos チケット</translation>
    </message>
    <message>
        <source>login</source>
        <translation>ログイン</translation>
    </message>
    <message>
        <source>guest</source>
        <translation>ゲスト</translation>
    </message>
    <message>
        <source>%1 accepted</source>
        <translation>%1 で成功</translation>
    </message>
    <message>
        <source>%1 refused (%2)</source>
        <translation>%1 は拒否 (%2)</translation>
    </message>
    <message>
        <source>name: %1 is %2 (by %3)</source>
        <translation>名前: %1 は %2 (%3 による)</translation>
    </message>
    <message>
        <source>name: not found (asked: %1)</source>
        <translation>名前: 見つかりません (%1 に問い合わせ)</translation>
    </message>
    <message>
        <source>TCP: 445 refused, %1 accepted</source>
        <translation>TCP: 445 は拒否、%1 で接続</translation>
    </message>
    <message>
        <source>TCP: %1 accepted</source>
        <translation>TCP: %1 で接続</translation>
    </message>
    <message>
        <source>TCP: 445 and 139 refused</source>
        <translation>TCP: 445 と 139 が拒否されました</translation>
    </message>
    <message>
        <source>TCP: no answer on 445 or 139</source>
        <translation>TCP: 445 にも 139 にも応答がありません</translation>
    </message>
    <message>
        <source>SMB negotiate: no answer (hung)</source>
        <translation>SMB ネゴシエート: 応答がありません (ハング)</translation>
    </message>
    <message>
        <source>SMB negotiate: the answer is not SMB</source>
        <translation>SMB ネゴシエート: 応答が SMB ではありません</translation>
    </message>
    <message>
        <source>SMB negotiate: %1 only, which is off</source>
        <translation>SMB ネゴシエート: %1 のみ (無効にしています)</translation>
    </message>
    <message>
        <source>SMB negotiate: %1, signing %2</source>
        <translation>SMB ネゴシエート: %1、署名は%2</translation>
    </message>
    <message>
        <source>required</source>
        <translation>必須</translation>
    </message>
    <message>
        <source>not required</source>
        <translation>任意</translation>
    </message>
    <message>
        <source>logon: %1</source>
        <translation>ログオン: %1</translation>
    </message>
    <message>
        <source>no attempt</source>
        <translation>試していません</translation>
    </message>
    <message>
        <source>a saved login held back</source>
        <translation>保存したログインは送っていません</translation>
    </message>
    <message>
        <source>share list: failed (%1)</source>
        <translation>共有の一覧: 失敗 (%1)</translation>
    </message>
    <message>
        <source>The shares can be listed.</source>
        <translation>共有を一覧できます。</translation>
    </message>
    <message numerus="yes">
        <source>share list: %n share(s)</source>
        <translation>
            <numerusform>共有の一覧: %n 個</numerusform>
        </translation>
    </message>
    <message>
        <source>name: %1 is an address</source>
        <translation>名前: %1 はアドレスです</translation>
    </message>
    <message>
        <source>No name was found for the address</source>
        <translation>このアドレスの名前が見つかりません</translation>
    </message>
    <message>
        <source>Not a valid name or address</source>
        <translation>名前またはアドレスとして正しくありません</translation>
    </message>
    <message>
        <source>The lookup failed (code %1)</source>
        <translation>名前解決に失敗しました (コード %1)</translation>
    </message>
</context>
<context>
    <name>assembly</name>
    <message>
        <source>Cannot load %1</source>
        <translation>%1がありません</translation>
    </message>
    <message>
        <source>The library has no %1 function</source>
        <translation>%1関数がない</translation>
    </message>
</context>
</TS>
