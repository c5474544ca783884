// The token endpoint, the ping, token revocation and the live-feed upgrade.
#include "api_routes.h"

namespace dk::cloudsim::detail {
namespace {

HttpReply oauthError(int status, const std::string& error, const std::string& description) {
  HttpReply reply = jsonReply(status, {{"error", error}, {"error_description", description}});
  if (status == 401) reply.setHeader("WWW-Authenticate", "Basic realm=\"oauth2/client\"");
  return reply;
}

HttpReply tokenReply(RouteContext& ctx, const TokenGrant& grant, const std::string& scope) {
  Json body = {{"access_token", grant.accessToken},
               {"token_type", "bearer"},
               {"expires_in", ctx.options.tokenLifetimeSeconds},
               {"scope", scope}};
  if (!grant.refreshToken.empty()) body["refresh_token"] = grant.refreshToken;
  HttpReply reply = jsonReply(200, body);
  reply.setHeader("Cache-Control", "no-store");
  reply.setHeader("Pragma", "no-cache");
  return reply;
}

HttpReply token(RouteContext& ctx) {
  // Client authentication: HTTP Basic, or client_id/client_secret parameters.
  std::optional<std::pair<std::string, std::string>> client =
      parseBasicAuthorization(ctx.request.header("Authorization"));
  if (!client) {
    const auto id = ctx.param("client_id");
    const auto secret = ctx.param("client_secret");
    if (id && secret) client = std::make_pair(*id, *secret);
  }
  if (!client) {
    return oauthError(401, "unauthorized", "Full authentication is required to access this resource");
  }
  if (client->first.empty() || client->second != ctx.options.clientSecret) {
    return oauthError(401, "invalid_client", "Bad client credentials");
  }

  const auto grantType = ctx.param("grant_type");
  if (!grantType) return oauthError(400, "invalid_request", "Missing grant type");
  const std::string scope = ctx.param("scope").value_or("write");

  if (*grantType == "password") {
    const auto username = ctx.param("username");
    const auto password = ctx.param("password");
    if (!username || !password) {
      return oauthError(400, "invalid_request", "Missing username or password");
    }
    if (*username != ctx.world.user.email || *password != ctx.world.user.password) {
      return oauthError(400, "invalid_grant", "Invalid credentials for user " + *username);
    }
    return tokenReply(ctx, ctx.tokens.issue(true), scope);
  }
  if (*grantType == "client_credentials") {
    return tokenReply(ctx, ctx.tokens.issue(false), scope);
  }
  if (*grantType == "refresh_token") {
    const auto refreshToken = ctx.param("refresh_token");
    if (!refreshToken) return oauthError(400, "invalid_request", "Missing refresh token");
    const auto grant = ctx.tokens.refresh(*refreshToken);
    if (!grant) return oauthError(400, "invalid_grant", "Invalid refresh token: " + *refreshToken);
    return tokenReply(ctx, *grant, ctx.param("scope").value_or("write"));
  }
  return oauthError(400, "unsupported_grant_type", "Unsupported grant type: " + *grantType);
}

HttpReply ping(RouteContext&) { return jsonReply(200, {{"status", "ok"}}); }

HttpReply revokeCurrentToken(RouteContext& ctx) {
  ctx.tokens.revoke(ctx.bearerToken);
  return noContent();
}

HttpReply authorizedClients(RouteContext& ctx) {
  return jsonReply(200, Json::array({{{"clientId", "sim-mobile"},
                                      {"name", "Simulated phone"},
                                      {"lastUsed", ctx.world.now * 1000}}}));
}

HttpReply deleteAuthorizedClient(RouteContext&) { return noContent(); }

HttpReply passwordReset(RouteContext& ctx) {
  const auto email = ctx.param("email");
  if (!email || email->find('@') == std::string::npos) {
    return errorReply(400, "not a well-formed email address", ctx.request.path);
  }
  return jsonReply(200, Json::object());
}

HttpReply liveFeed(RouteContext& ctx) {
  if (!ctx.request.upgrade) {
    return errorReply(426, "Can \"Upgrade\" only to \"WebSocket\".", ctx.request.path);
  }
  HttpReply reply;
  reply.disposition = HttpReply::Disposition::Upgrade;
  return reply;
}

}  // namespace

void addAuthRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"POST", "/oauth/token", Auth::Client, token},
      {"GET", "/rest/v2.0/ping", Auth::Bearer, ping},
      {"DELETE", "/rest/v2.0/users/self/tokens/current", Auth::Bearer, revokeCurrentToken},
      {"GET", "/rest/v1/users/self/tokens/authorized_clients", Auth::Bearer, authorizedClients},
      {"DELETE", "/rest/v1/users/self/tokens/authorized_clients/{client}", Auth::Bearer,
       deleteAuthorizedClient},
      {"POST", "/rest/v2.0/passwordResets", Auth::Bearer, passwordReset},
      {"GET", "/stomp/v2.0", Auth::Bearer, liveFeed},
  });
}

}  // namespace dk::cloudsim::detail
