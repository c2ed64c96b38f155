#include "app/AppText.h"

#include "app/AppInfo.h"

std::wstring StripOuterQuotes(const std::wstring& commandLine)
{
    const size_t first = commandLine.find_first_not_of(L'"');
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    const size_t last = commandLine.find_last_not_of(L'"');
    return commandLine.substr(first, last - first + 1);
}

std::wstring QuickAddMessage(const std::wstring& address, bool succeeded)
{
    return L"添加" + address + (succeeded ? L"成功。" : L"失败。");
}

std::wstring ApologyText()
{
    return std::wstring(L"非常抱歉，程序遇到问题需要关闭，请联系作者获取帮助！\r\n")
        + L"网站: " + MORVANTI_WEB_SITE + L"\r\n"
        + L"邮箱: " + MORVANTI_EMAIL + L"\r\n";
}

int CenteredOffset(int areaSize, int boxSize)
{
    return areaSize / 2 - boxSize / 2;
}
